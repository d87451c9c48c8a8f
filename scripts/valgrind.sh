#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the whole test suite once under valgrind memcheck (Linux only): any
# memory error, or memory definitely lost, fails the run.
# Usage: scripts/valgrind.sh [gtest filter]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh valgrind
cmake --preset default >/dev/null
cmake --build --preset default --target hostmath_tests
valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --track-origins=yes --quiet \
  build/default/tests/hostmath_tests --gtest_brief=1 --gtest_filter="${1:-*}"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing (OpenBLAS included), builds the benchmarks and runs
# them; each prints its ratio against the reference measured in the same run.
# Usage: scripts/bench.sh [benchmark name ...]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench
cmake --preset bench >/dev/null
cmake --build --preset bench
if [ $# -eq 0 ]; then
  set -- $(cd bench && ls *.cpp | sed 's/\.cpp$//')
fi
for b in "$@"; do
  echo "== $b"
  "./build/bench/bench/$b"
done

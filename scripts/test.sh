#!/usr/bin/env bash
# Installs what is missing, builds everything and runs all tests.
# Usage: scripts/test.sh [default|sanitize|tsan]   (tsan: the tests of work split
# across threads, under ThreadSanitizer)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"

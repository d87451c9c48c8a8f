#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs all tests.
# Usage: scripts/test.sh [default|sanitize|tsan|windows]
# tsan runs the tests of work split across threads under ThreadSanitizer;
# windows cross-builds the DLL and everything else for Windows and runs the
# tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
if [ "$preset" = windows ]; then
  scripts/windows-deps.sh >/dev/null
  # One wineserver for the whole run, test discovery at build time included,
  # so no test pays for Wine's start-up (it exits 2 when one already runs).
  scripts/wine-env.sh wineserver -p || [ $? -eq 2 ]
  trap 'scripts/wine-env.sh wineserver -k || true' EXIT
  scripts/wine-env.sh wine cmd /c exit
else
  scripts/deps.sh
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
status=0
ctest --preset "$preset" || status=$?
if [ "$preset" = windows ]; then
  # Programs Wine failed to start and that were run again (scripts/wine-run.sh).
  grep -h "^wine-run:" build/windows/Testing/Temporary/LastTest.log || true
fi
exit "$status"

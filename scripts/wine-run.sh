#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program under Wine for CTest (the Windows build's emulator).
# Usage: scripts/wine-run.sh PROGRAM.exe [args]
#
# The program writes into files, which are then copied to this script's
# standard output and error. Wine starts helper processes on a program's
# behalf (the desktop process, when it first makes a window) and they
# inherit its standard handles; were those CTest's pipes, CTest would wait
# for the helper, which lives until no Wine program runs, and a test that
# took half a second would seem to run to the end of the suite.
#
# A program that ended with a failing status before writing anything never
# reached its main function (the test programs write a banner first, with
# their output unbuffered): Wine failed to start it. It is then run again,
# up to twice, and the retry is reported on standard error with the "wine-run:"
# prefix (scripts/test.sh lists these lines after the run).
set -uo pipefail
here="$(dirname "$0")"
out="$(mktemp)" err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
  status=0
  "$here/wine-env.sh" wine "$@" >"$out" 2>"$err" || status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 3 ]; then break; fi
  echo "wine-run: $1 ended with status $status before writing anything (attempt $attempt); running it again" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"

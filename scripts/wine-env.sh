#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command (wine, wineserver) in the project's Wine environment:
# 64-bit, headless (no display; message boxes go to Wine's null driver),
# quiet, without the Mono and Gecko installers, in a prefix kept in the
# cache beside the Windows libraries. Creates the prefix on first use.
# Usage: scripts/wine-env.sh wine PROGRAM.exe [args] | wineserver -p | wineserver -k
set -euo pipefail
export WINEPREFIX="${HOSTMATH_CACHE:-$HOME/.cache/hostmath}/wine"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -e "$WINEPREFIX/.hostmath-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.hostmath-ready"
fi
exec "$@"

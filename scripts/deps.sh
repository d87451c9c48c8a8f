#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build needs, only those that are missing,
# then (except for windows, whose libraries scripts/windows-deps.sh builds)
# has scripts/linux-deps.sh build the static GSL, GMP and MPFR that
# libhostmath.so links, once per machine.
# Usage: scripts/deps.sh [bench|plots|windows|fuzz|valgrind]
#   bench adds OpenBLAS and FFTW, the benchmarks' references; plots adds them, and
#   gnuplot and jq for scripts/plots.sh; windows adds the mingw-w64 cross
#   compilers, Wine and what builds the Windows libraries from Debian's
#   sources, and zip for the release archive; fuzz adds clang and its runtime;
#   valgrind adds valgrind.
set -euo pipefail
packages=(cmake g++ make m4 pkg-config dpkg-dev libgsl-dev libmpfr-dev libgtest-dev libgmock-dev libbenchmark-dev)
case "${1:-}" in
  bench) packages+=(libopenblas-dev libfftw3-dev) ;;
  plots) packages+=(libopenblas-dev libfftw3-dev gnuplot-nox jq) ;;
  windows) packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest zip) ;;
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
  valgrind) packages+=(valgrind) ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ "${1:-}" != windows ]; then
  "$(dirname "$0")/linux-deps.sh" >/dev/null
fi

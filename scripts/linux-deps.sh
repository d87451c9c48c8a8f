#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds GSL, GMP and MPFR as static libraries of position-independent code
# from Debian's own source packages, the versions of libgsl-dev, libgmp-dev
# and libmpfr-dev, into the cache (HOSTMATH_CACHE, by default
# ~/.cache/hostmath, folder x86_64-linux-gnu): libhostmath.so links them in,
# as the Windows DLL links its own, so that the library has a copy of each
# to itself: GSL's error handler, and GMP's memory functions, which the
# accurate path of the elementary functions sets (elementary/accurate.cpp).
# GMP for any x86-64 processor, not the build machine's. Called by
# scripts/deps.sh after the packages are in.
# Usage: scripts/linux-deps.sh   (prints the install prefix)
set -euo pipefail
cd "$(dirname "$0")/.."
triplet=x86_64-linux-gnu
. scripts/source-packages.sh
build_gsl CFLAGS="-O2 -fPIC -ffp-contract=off"
build_mpfr --host=x86_64-pc-linux-gnu --with-pic CFLAGS="-O2"
echo "$prefix"

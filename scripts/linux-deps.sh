#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds GSL as a static library of position-independent code from Debian's
# own source package, the version of libgsl-dev, into the cache
# (HOSTMATH_CACHE, by default ~/.cache/hostmath, folder x86_64-linux-gnu):
# libhostmath.so links it in, as the Windows DLL links its own, so that the
# library has a copy of GSL (and of its error handler) to itself. Called by
# scripts/deps.sh after the packages are in.
# Usage: scripts/linux-deps.sh   (prints the install prefix)
set -euo pipefail
cd "$(dirname "$0")/.."
triplet=x86_64-linux-gnu
. scripts/source-packages.sh
build_gsl CFLAGS="-O2 -fPIC -ffp-contract=off"
echo "$prefix"

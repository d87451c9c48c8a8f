#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the third-party libraries of the Windows build as static mingw-w64
# libraries from Debian's own source packages, the versions the Linux build
# uses: GSL (with the package's patches), GMP and MPFR, GoogleTest and
# Google Benchmark.
# They go to a cache outside the work tree (HOSTMATH_CACHE, by default
# ~/.cache/hostmath), so every clone on this machine builds them once; the
# Windows toolchain file looks for them there.
# Usage: scripts/windows-deps.sh   (prints the install prefix)
set -euo pipefail
cd "$(dirname "$0")/.."

triplet=x86_64-w64-mingw32
scripts/deps.sh windows
. scripts/source-packages.sh

cmake_cross() {  # cmake_cross SOURCE BUILD [cache options...]
  local src="$1" build="$2"
  shift 2
  quietly cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=$triplet-gcc-posix -DCMAKE_CXX_COMPILER=$triplet-g++-posix \
    -DCMAKE_RC_COMPILER=$triplet-windres -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@"
  quietly cmake --build "$build" -j "$jobs"
  quietly cmake --install "$build"
}

build_gsl --host=$triplet CFLAGS="-O2 -ffp-contract=off"

# MPFR, on GMP, is the elementary functions' accurate path; their results
# are correctly rounded, so the build's own arithmetic does not show.
build_mpfr --host=$triplet CFLAGS="-O2"

version="$(source_version libbenchmark-dev)"
if ! built benchmark "$version"; then
  echo "Building Google Benchmark $version for $triplet (once per machine)" >&2
  src="$(apt_source benchmark "$version")"
  cmake_cross "$src" "$work/benchmark-build" -DGIT_VERSION="${version%-*}" -DBENCHMARK_ENABLE_TESTING=OFF \
    -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_INSTALL_DOCS=OFF
  mark_built benchmark "$version"
fi

# GoogleTest's sources come with Debian's googletest package itself.
version="$(source_version googletest)"
if ! built googletest "$version"; then
  echo "Building GoogleTest $version for $triplet (once per machine)" >&2
  cmake_cross /usr/src/googletest "$work/googletest-build" -Dgtest_disable_pthreads=OFF
  mark_built googletest "$version"
fi

echo "$prefix"

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
cache="${HOSTMATH_CACHE:-$HOME/.cache/hostmath}"
prefix="$cache/$triplet"
jobs="$(nproc)"
mkdir -p "$prefix"

# The source version of the package that provides the Linux build's copy.
source_version() { dpkg-query -W -f '${source:Version}' "$1"; }

# One-off apt configuration in $1: every deb stanza of the machine's own
# sources turned into a deb-src stanza, with private lists, so the system's
# apt setup is left as it is.
make_source_apt() {
  local dir="$1"
  mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/cache/archives/partial"
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n -E 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f"
  done >"$dir/sources.list.d/derived.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas: a stanza of type deb also serves deb-src.
    sed -E 's/^Types:.*\bdeb\b.*$/Types: deb-src/' "$f" >"$dir/sources.list.d/$(basename "$f")"
  done
}

apt_source() {  # apt_source DIR PACKAGE VERSION: unpacks with the package's patches applied
  local dir="$1" opts
  opts=(-o "Dir::Etc::SourceList=$dir/sources.list.d/derived.list"
        -o "Dir::Etc::SourceParts=$dir/sources.list.d"
        -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache"
        -o "APT::Sandbox::User=root")
  if [ ! -e "$dir/updated" ]; then
    # A third-party repository without sources only warns; a missing
    # package is reported by apt-get source itself.
    apt-get "${opts[@]}" -qq update || true
    touch "$dir/updated"
  fi
  (cd "$dir" && apt-get "${opts[@]}" -qq source "$2=$3" >/dev/null)
}

scripts/deps.sh windows

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
make_source_apt "$work/apt"

# Runs a build step with its output in a log, shown only when the step fails.
quietly() {
  "$@" >>"$work/log" 2>&1 || { tail -n 40 "$work/log" >&2; return 1; }
}

# built NAME VERSION: true when the cache already holds that version.
built() { [ "$(cat "$prefix/.$1-version" 2>/dev/null)" = "$2" ]; }
mark_built() { echo "$2" >"$prefix/.$1-version"; }

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

version="$(source_version libgsl-dev)"
if ! built gsl "$version"; then
  echo "Building GSL $version for $triplet (once per machine)" >&2
  apt_source "$work/apt" gsl "$version"
  src="$(find "$work/apt" -maxdepth 1 -type d -name 'gsl-*' | head -n 1)"
  # Plain -O2 as the Debian build, and no fused multiply-add, so results
  # match the Linux build's library bit for bit.
  cd "$src"
  quietly ./configure --host=$triplet --disable-shared --enable-static --prefix="$prefix" \
    CFLAGS="-O2 -ffp-contract=off" AR_FLAGS=cr
  # The library only: the manual's sources are not in Debian's tarball.
  subdirs="$(sed -n 's/^SUBDIRS = //p' Makefile | sed -E 's/(^| )doc( |$)/ /')"
  quietly make -j "$jobs" SUBDIRS="$subdirs"
  quietly make SUBDIRS="$subdirs" install
  cd - >/dev/null
  mark_built gsl "$version"
fi

# autotools_cross NAME PACKAGE VERSION [configure options...]: a static
# library from Debian's source package, installed into the cache.
autotools_cross() {
  local name="$1" package="$2" version="$3"
  shift 3
  echo "Building $name $version for $triplet (once per machine)" >&2
  apt_source "$work/apt" "$package" "$version"
  local src
  src="$(find "$work/apt" -maxdepth 1 -type d -name "$package-*" | head -n 1)"
  cd "$src"
  # Debian's GMP source leaves out the manual; configure still lists its
  # Makefile, so an empty one stands in.
  if [ -f doc/Makefile.am ] || grep -q 'doc/Makefile' configure; then
    [ -f doc/Makefile.in ] || { mkdir -p doc; printf 'all install install-data install-exec uninstall check clean distclean:\n' >doc/Makefile.in; }
  fi
  quietly ./configure --host=$triplet --disable-shared --enable-static --prefix="$prefix" "$@"
  quietly make -j "$jobs"
  quietly make install
  cd - >/dev/null
  mark_built "$name" "$version"
}

# MPFR, on GMP, is the elementary functions' accurate path; their results
# are correctly rounded, so the build's own arithmetic does not show.
version="$(source_version libgmp-dev)"
built gmp "$version" || autotools_cross gmp gmp "$version" CFLAGS="-O2"
version="$(source_version libmpfr-dev)"
built mpfr "$version" || autotools_cross mpfr mpfr4 "$version" CFLAGS="-O2" --with-gmp="$prefix"

version="$(source_version libbenchmark-dev)"
if ! built benchmark "$version"; then
  echo "Building Google Benchmark $version for $triplet (once per machine)" >&2
  apt_source "$work/apt" benchmark "$version"
  src="$(find "$work/apt" -maxdepth 1 -type d -name 'benchmark-*' | head -n 1)"
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

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release archives in dist/: hostmath-VERSION-windows-x64.zip
# (hostmath.dll) and hostmath-VERSION-linux-x64.tar.gz (libhostmath.so), each
# with the README, the licence, the third-party notice, the changelog and the
# user documentation, and SHA256SUMS for both.
# VERSION is the CMake project's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/windows-deps.sh >/dev/null
# The third-party notice names the exact versions linked into the libraries:
# GSL (both builds' copies are built from the source package of libgsl-dev),
# GMP and MPFR, and the mingw-w64 compiler and runtime. A package update must
# update the notice.
for linked in "$(dpkg-query -W -f '${source:Version}' libgsl-dev)" \
              "$(dpkg-query -W -f '${source:Version}' libgmp-dev)" \
              "$(dpkg-query -W -f '${source:Version}' libmpfr-dev)" \
              "$(dpkg-query -W -f '${Version}' g++-mingw-w64-x86-64-posix)" \
              "$(dpkg-query -W -f '${Version}' mingw-w64-x86-64-dev)"; do
  if ! grep -qF "\`$linked\`" THIRD-PARTY-NOTICES.md; then
    echo "THIRD-PARTY-NOTICES.md does not name version $linked, which this build links" >&2
    exit 1
  fi
done
for preset in default windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target hostmath
done
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/default/CMakeCache.txt)"

dist="$PWD/dist"
rm -rf "$dist"
mkdir -p "$dist"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT

# stage NAME LIBRARY STRIP: a folder with the stripped library and the documents.
stage() {
  local dir="$stage/$1"
  mkdir -p "$dir/docs"
  cp README.md LICENSE THIRD-PARTY-NOTICES.md CHANGELOG.md "$dir/"
  cp docs/*.md "$dir/docs/"
  cp "$2" "$dir/"
  "$3" --strip-unneeded "$dir/$(basename "$2")"
}

name="hostmath-$version-windows-x64"
stage "$name" build/windows/hostmath.dll x86_64-w64-mingw32-strip
(cd "$stage" && zip -q -r -X "$dist/$name.zip" "$name")

name="hostmath-$version-linux-x64"
stage "$name" build/default/libhostmath.so strip
tar -C "$stage" --owner=0 --group=0 --numeric-owner -czf "dist/$name.tar.gz" "$name"

(cd dist && sha256sum -- *.zip *.tar.gz >SHA256SUMS)
ls -l dist

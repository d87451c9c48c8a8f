# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by scripts/windows-deps.sh and scripts/linux-deps.sh: builds static
# libraries from Debian's own source packages (with the package's patches)
# into a cache outside the work tree, once per machine and version.
# The sourcing script sets `triplet` (the cache folder's name) first; this
# file sets `cache`, `prefix` (where the libraries are installed), `jobs` and
# `work` (a scratch folder, removed at exit).

cache="${HOSTMATH_CACHE:-$HOME/.cache/hostmath}"
prefix="$cache/$triplet"
jobs="$(nproc)"
mkdir -p "$prefix"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The source version of the package that provides the Linux build's copy.
source_version() { dpkg-query -W -f '${source:Version}' "$1"; }

# One-off apt configuration in $work/apt: every deb stanza of the machine's
# own sources turned into a deb-src stanza, with private lists, so the
# system's apt setup is left as it is.
make_source_apt() {
  local dir="$work/apt"
  [ -e "$dir/sources.list.d" ] && return
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

# apt_source PACKAGE VERSION: unpacks into $work/apt with the package's
# patches applied and prints the source folder.
apt_source() {
  make_source_apt
  local dir="$work/apt" opts
  opts=(-o "Dir::Etc::SourceList=$dir/sources.list.d/derived.list"
        -o "Dir::Etc::SourceParts=$dir/sources.list.d"
        -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache"
        -o "APT::Sandbox::User=root")
  if [ ! -e "$dir/updated" ]; then
    # A third-party repository without sources only warns; a missing
    # package is reported by apt-get source itself.
    apt-get "${opts[@]}" -qq update >&2 || true
    touch "$dir/updated"
  fi
  (cd "$dir" && apt-get "${opts[@]}" -qq source "$1=$2" >/dev/null)
  find "$dir" -maxdepth 1 -type d -name "$1-*" | head -n 1
}

# Runs a build step with its output in a log, shown only when the step fails.
quietly() {
  "$@" >>"$work/log" 2>&1 || { tail -n 40 "$work/log" >&2; return 1; }
}

# built NAME VERSION: true when the cache already holds that version.
built() { [ "$(cat "$prefix/.$1-version" 2>/dev/null)" = "$2" ]; }
mark_built() { echo "$2" >"$prefix/.$1-version"; }

# build_gsl [configure options...]: GSL, libgsl and libgslcblas, static, in
# the version of the Linux build's libgsl-dev, into $prefix. Plain -O2 as
# the Debian build, and no fused multiply-add, so that the Linux and the
# Windows builds compute the same bits; CFLAGS come with the options.
build_gsl() {
  local version
  version="$(source_version libgsl-dev)"
  built gsl "$version" && return 0
  echo "Building GSL $version for $triplet (once per machine)" >&2
  local src
  src="$(apt_source gsl "$version")"
  (
    cd "$src"
    quietly ./configure --disable-shared --enable-static --prefix="$prefix" AR_FLAGS=cr "$@"
    # The library only: the manual's sources are not in Debian's tarball.
    local subdirs
    subdirs="$(sed -n 's/^SUBDIRS = //p' Makefile | sed -E 's/(^| )doc( |$)/ /')"
    quietly make -j "$jobs" SUBDIRS="$subdirs"
    quietly make SUBDIRS="$subdirs" install
  )
  mark_built gsl "$version"
}

# build_autotools PACKAGE VERSION [configure options...]: a static library
# from Debian's source package of that version, with the package's patches,
# installed into $prefix. Called as a condition's branch, where errexit does
# not hold: each step stops the function itself.
build_autotools() {
  local package="$1" version="$2"
  shift 2
  echo "Building $package $version for $triplet (once per machine)" >&2
  local src
  src="$(apt_source "$package" "$version")" || return 1
  (
    cd "$src" || exit 1
    # Debian's GMP source leaves out the manual; configure still lists its
    # Makefile, so an empty one stands in.
    if [ -f doc/Makefile.am ] || grep -q 'doc/Makefile' configure; then
      [ -f doc/Makefile.in ] || { mkdir -p doc; printf 'all install install-data install-exec uninstall check clean distclean:\n' >doc/Makefile.in; }
    fi
    quietly ./configure --disable-shared --enable-static --prefix="$prefix" "$@" || exit 1
    quietly make -j "$jobs" || exit 1
    quietly make install || exit 1
  )
}

# build_mpfr [configure options...]: GMP and MPFR, static, in the versions of
# the Linux build's libgmp-dev and libmpfr-dev, into $prefix; MPFR
# thread-safe (its caches per thread), since the library's worker threads
# may take the accurate path at the same time. The options go to both.
build_mpfr() {
  local version
  version="$(source_version libgmp-dev)"
  if ! built gmp "$version"; then
    build_autotools gmp "$version" "$@" || exit 1
    mark_built gmp "$version"
  fi
  version="$(source_version libmpfr-dev)"
  if ! built mpfr "$version-tls"; then
    build_autotools mpfr4 "$version" "$@" --with-gmp="$prefix" --enable-thread-safe || exit 1
    mark_built mpfr "$version-tls"
  fi
}

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the project's licence identifier at the head of every tracked source
# that has none: the first line of C and C++ sources, the resource template
# and CMake files, the line after the interpreter line of shell scripts.
# A file that already carries an identifier there is left as it is (one
# under another licence is named, and the check fails on it), so a second
# run changes nothing.
# Usage: scripts/spdx.sh           adds the identifier where it is missing
#        scripts/spdx.sh --check   lists the sources without one; fails if any
set -euo pipefail
cd "$(dirname "$0")/.."
identifier="SPDX-License-Identifier: GPL-3.0-or-later"

# Which tracked files are sources (git pathspecs: * crosses folders), and
# the comment leader of each one's language.
sources=('*.cpp //' '*.h //' '*.c //' '*.rc.in //'
         '*.sh #' '.ci/* #' '*CMakeLists.txt #' '*.cmake #')

# insert FILE TEXT LINE: TEXT becomes line LINE; written in place, so the
# file keeps its mode.
insert() {
  local copy
  copy="$(mktemp)"
  awk -v at="$3" -v line="$2" 'NR == at { print line } { print } END { if (NR < at) print line }' "$1" >"$copy"
  cat "$copy" >"$1"
  rm -f "$copy"
}

main() {
  local check=false missing=0 entry pattern leader file first second line at
  [ "${1:-}" = --check ] && check=true
  if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "not a git checkout: no tracked sources to look at" >&2
    return 77  # the licence_lines test counts this as skipped
  fi
  for entry in "${sources[@]}"; do
    pattern="${entry% *}" leader="${entry##* }"
    while IFS= read -r -d '' file; do
      first="" second=""
      { IFS= read -r first || true; IFS= read -r second || true; } <"$file"
      # The identifier's line: after an interpreter line, else the first.
      if [[ "$first" == '#!'* ]]; then line="$second" at=2; else line="$first" at=1; fi
      [ "$line" = "$leader $identifier" ] && continue
      if $check; then
        echo "$file: no '$leader $identifier' on line $at" >&2
        missing=$((missing + 1))
      elif [[ "$line" == "$leader SPDX-License-Identifier: "* ]]; then
        echo "$file: another licence ($line): left as it is" >&2
      else
        insert "$file" "$leader $identifier" "$at"
      fi
    done < <(git ls-files -z -- "$pattern")
  done
  if [ "$missing" -gt 0 ]; then
    echo "$missing sources without the licence identifier: run scripts/spdx.sh" >&2
    return 1
  fi
}

# Read whole before it runs: the script is one of the files it edits.
main "$@"; exit

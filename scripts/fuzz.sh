#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer target (preset "fuzz": clang, AddressSanitizer and
# UndefinedBehaviorSanitizer; Linux only) and fuzzes for a fixed time from the
# seed corpus in fuzz/corpus. New inputs go to build/fuzz/corpus, findings
# (crashes, sanitizer reports, hangs beyond 10 s, broken call invariants) to
# build/fuzz/findings/, and the run fails if there is one.
# Usage: scripts/fuzz.sh [seconds, default 60] [more libFuzzer options]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
scripts/deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_calls
mkdir -p build/fuzz/corpus build/fuzz/findings
# The library handles failed allocations itself, so a refused one is no
# finding. A smaller quarantine slows the growth of a long run's resident
# set, which is the sanitizer's bookkeeping (the library's heap stays flat).
export ASAN_OPTIONS="${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1:quarantine_size_mb=64}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
build/fuzz/fuzz/fuzz_calls -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
  -dict=fuzz/calls.dict -artifact_prefix=build/fuzz/findings/ "$@" build/fuzz/corpus fuzz/corpus

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws how the matrix product scales, for the library and OpenBLAS, from
# the JSON output of bench_product_threads:
#   docs/product-gflops.png   GFLOP/s against n, on one thread and on all,
#                             with the processor's ceiling for a product
#                             that rounds every multiplication
#   docs/product-speedup.png  speed-up over one thread against threads
# Usage: [MACHINE="name of the processor"] scripts/plots.sh [results.json]
# (default: run the benchmark first, writing build/bench/product_threads.json)
#        scripts/plots.sh linalg [results.json]
# draws docs/linalg-gflops.png instead: GFLOP/s of solve and chol against n,
# beside dgesv and dpotrf from OpenBLAS, from bench_linalg's sweep.
#        scripts/plots.sh fft [results.json]
# draws docs/fft-time.png: fft's time per n log2(n) against n on one thread,
# smooth and prime lengths, from bench_data's sweep.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh plots

# Builds benchmark program $1 and runs the benchmarks matching $3, writing
# their results as JSON to $2.
run_bench() {
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target "$1"
  "./build/bench/bench/$1" --benchmark_filter="$3" --benchmark_out="$2" --benchmark_out_format=json
}

linalg_plot() {
  local json="${1:-}"
  if [ -z "$json" ]; then
    json=build/bench/linalg.json
    run_bench bench_linalg "$json" 'N/'
  fi
  local work
  work=$(mktemp -d)
  jq -r '.benchmarks[] | select(.run_type == "iteration")
         | (.run_name | split("/")) as $p | [$p[0], $p[1], $p[2], .GFLOPS / 1e9] | @tsv' "$json" |
    sort -k1,1 -k2,2n -k3,3n -k4,4gr | awk '!seen[$1 FS $2 FS $3]++' >"$work/all.tsv"
  local max_threads machine
  max_threads=$(awk '{ if ($3 > m) m = $3 } END { print m }' "$work/all.tsv")
  machine="${MACHINE:-$(jq -r '.context | "\(.num_cpus) CPUs"' "$json")}"
  for who in BM_SolveN BM_CholN BM_DgesvN BM_DpotrfN; do
    for t in 1 "$max_threads"; do
      awk -v w="$who" -v t="$t" '$1 == w && $3 == t { print $2, $4 }' "$work/all.tsv" >"$work/$who-t$t.dat"
    done
  done
  gnuplot <<GNUPLOT
set terminal pngcairo size 800,500 font "sans,11" noenhanced
set grid
set output "docs/linalg-gflops.png"
set title "solve and chol against LAPACK, n x n: GFLOP/s ($machine)"
set xlabel "n"
set ylabel "GFLOP/s"
set yrange [0:*]
set key below maxrows 4 font ",9"
set logscale x 2
set xtics (250, 500, 1000, 2000)
plot "$work/BM_SolveN-t1.dat" with linespoints lw 2 lc 1 title "solve, 1 thread", \
     "$work/BM_SolveN-t$max_threads.dat" with linespoints lw 2 lc 2 title "solve, $max_threads threads", \
     "$work/BM_DgesvN-t1.dat" with linespoints dt 2 lw 2 lc 1 title "dgesv, 1 thread", \
     "$work/BM_DgesvN-t$max_threads.dat" with linespoints dt 2 lw 2 lc 2 title "dgesv, $max_threads threads", \
     "$work/BM_CholN-t1.dat" with linespoints lw 2 lc 3 title "chol, 1 thread", \
     "$work/BM_CholN-t$max_threads.dat" with linespoints lw 2 lc 4 title "chol, $max_threads threads", \
     "$work/BM_DpotrfN-t1.dat" with linespoints dt 2 lw 2 lc 3 title "dpotrf, 1 thread", \
     "$work/BM_DpotrfN-t$max_threads.dat" with linespoints dt 2 lw 2 lc 4 title "dpotrf, $max_threads threads"
GNUPLOT
  rm -rf "$work"
  echo "wrote docs/linalg-gflops.png"
}

fft_plot() {
  local json="${1:-}"
  if [ -z "$json" ]; then
    json=build/bench/fft.json
    run_bench bench_data "$json" 'BM_Fft/[0-9]+/1/'
  fi
  local work machine
  work=$(mktemp -d)
  # n and ns per n log2(n), the best of repeated runs; smooth when its
  # prime factors are at most 7.
  jq -r '.benchmarks[] | select(.run_type == "iteration" and .ns_per_nlogn != null)
         | (.run_name | split("/")) as $p | select($p[0] == "BM_Fft" and $p[2] == "1")
         | [$p[1], .ns_per_nlogn * 1e9] | @tsv' "$json" |
    sort -k1,1n -k2,2g | awk '!seen[$1]++' |
    awk -v dir="$work" '{ m = $1; for (p = 2; p <= 7; ++p) while (m % p == 0) m /= p;
                          print $1, $2 > (dir "/" (m == 1 ? "smooth" : "prime") ".dat") }'
  machine="${MACHINE:-$(jq -r '.context | "\(.num_cpus) CPUs"' "$json")}"
  gnuplot <<GNUPLOT
set terminal pngcairo size 800,500 font "sans,11" noenhanced
set grid
set output "docs/fft-time.png"
set title "fft, complex input, one thread: time per n log2(n) ($machine)"
set xlabel "n"
set ylabel "ns per n log2(n)"
set yrange [0:*]
set key top left
set logscale x 2
set xtics ("1K" 1024, "4K" 4096, "16K" 16384, "64K" 65536, "256K" 262144, "1M" 1048576, "4M" 4194304, "16M" 16777216)
plot "$work/smooth.dat" with linespoints lw 2 lc 1 title "smooth lengths", \
     "$work/prime.dat" with linespoints lw 2 lc 2 title "primes (the convolution)"
GNUPLOT
  rm -rf "$work"
  echo "wrote docs/fft-time.png"
}

if [ "${1:-}" = fft ]; then
  fft_plot "${2:-}"
  exit 0
fi

if [ "${1:-}" = linalg ]; then
  linalg_plot "${2:-}"
  exit 0
fi

json="${1:-}"
if [ -z "$json" ]; then
  json=build/bench/product_threads.json
  run_bench bench_product_threads "$json" '.'
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line per run: who, n, threads, GFLOP/s; the best of repeated runs.
jq -r '.benchmarks[] | select(.run_type == "iteration")
       | (.run_name | split("/")) as $p | [$p[0], $p[1], $p[2], .GFLOPS / 1e9] | @tsv' "$json" |
  sort -k1,1 -k2,2n -k3,3n -k4,4gr | awk '!seen[$1 FS $2 FS $3]++' >"$work/all.tsv"
max_threads=$(awk '{ if ($3 > m) m = $3 } END { print m }' "$work/all.tsv")
# MACHINE names the processor in the titles (default: the CPU count the run saw).
machine="${MACHINE:-$(jq -r '.context | "\(.num_cpus) CPUs"' "$json")}"

for who in BM_Library BM_OpenBLAS; do
  for t in 1 "$max_threads"; do
    awk -v w="$who" -v t="$t" '$1 == w && $3 == t { print $2, $4 }' "$work/all.tsv" >"$work/$who-t$t.dat"
  done
  for n in 1024 2048; do
    awk -v w="$who" -v n="$n" '$1 == w && $2 == n { if ($3 == 1) one = $4; print $3, $4 / one }' \
      "$work/all.tsv" >"$work/$who-n$n.dat"
  done
done

# The separate multiply-add rate (BM_Arithmetic/0/threads), flat in n.
ceiling() { awk -v t="$1" '$1 == "BM_Arithmetic" && $2 == 0 && $3 == t { print $4 }' "$work/all.tsv"; }
ceiling_1=$(ceiling 1)
ceiling_all=$(ceiling "$max_threads")
ceiling_plot=""
if [ -n "$ceiling_1" ] && [ -n "$ceiling_all" ]; then
  ceiling_plot=", $ceiling_1 with lines dt 3 lw 2 lc \"dark-gray\" title \"ceiling of separate multiply and add, 1 thread\", $ceiling_all with lines dt 3 lw 2 lc \"black\" title \"ceiling, $max_threads threads\""
fi

gnuplot <<GNUPLOT
set terminal pngcairo size 800,500 font "sans,11" noenhanced
set key left top font ",9"
set grid

set output "docs/product-gflops.png"
set title "Matrix product, square n x n: GFLOP/s ($machine)"
set xlabel "n"
set ylabel "GFLOP/s"
set yrange [0:*]
set key below maxrows 3
set logscale x 2
set xtics (256, 512, 1024, 2048)
plot "$work/BM_Library-t1.dat" with linespoints lw 2 title "library, 1 thread", \
     "$work/BM_Library-t$max_threads.dat" with linespoints lw 2 title "library, $max_threads threads", \
     "$work/BM_OpenBLAS-t1.dat" with linespoints dt 2 lw 2 title "OpenBLAS, 1 thread", \
     "$work/BM_OpenBLAS-t$max_threads.dat" with linespoints dt 2 lw 2 title "OpenBLAS, $max_threads threads"$ceiling_plot

set output "docs/product-speedup.png"
set key left top
set title "Matrix product: speed-up over one thread ($machine)"
unset logscale x
set xlabel "threads"
set ylabel "speed-up"
set xtics 1
set xrange [1:$max_threads]
set yrange [0:*]
plot x with lines lc "gray" title "linear", \
     "$work/BM_Library-n1024.dat" with linespoints lw 2 title "library, n = 1024", \
     "$work/BM_Library-n2048.dat" with linespoints lw 2 title "library, n = 2048", \
     "$work/BM_OpenBLAS-n1024.dat" with linespoints dt 2 lw 2 title "OpenBLAS, n = 1024", \
     "$work/BM_OpenBLAS-n2048.dat" with linespoints dt 2 lw 2 title "OpenBLAS, n = 2048"
GNUPLOT
echo "wrote docs/product-gflops.png and docs/product-speedup.png"

#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Usage: scripts/deps.sh [bench|fuzz|valgrind]   (bench adds OpenBLAS, the
# benchmarks' reference; fuzz adds clang and its runtime; valgrind adds valgrind)
set -euo pipefail
packages=(cmake g++ make pkg-config libgsl-dev libgtest-dev libgmock-dev libbenchmark-dev)
case "${1:-}" in
  bench) packages+=(libopenblas-dev) ;;
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

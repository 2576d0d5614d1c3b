#!/usr/bin/env bash
# Runs every benchmark program of the optimised native build and prints its
# figures. Benchmarks that need a server start and stop their own.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
found=0 failed=0
for b in $(find build/release/bench -maxdepth 2 -type f -executable -name 'bench_*' | sort); do
  found=1
  printf '\n== %s\n' "${b#build/release/}"
  "$b" || { echo "bench: $b failed" >&2; failed=1; }
done
[ $found = 1 ] || echo "bench: no benchmark programs built yet"
exit $failed

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build/fuzz and
# runs each for a bounded time over its seed corpus in tests/data/fuzz/<name>/.
# New inputs found during the run go to build/fuzz/corpus/<name>/, never into
# the source tree; a crash leaves its input in build/fuzz/artifacts/.
#   scripts/run-fuzz.sh [seconds per target (default 20)] [target ...]
# Exits non-zero if any target crashes, reports a sanitizer error or asks
# for more than 256 MB at once (no input of a few KB has a reason to).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(archive sprite bmp tga png jpeg richtext layout)
build=build/fuzz

if [ ! -f $build/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZDL_FUZZ=ON -DZDL_SANITIZE=ON >/dev/null || { echo "fuzz: configure failed" >&2; exit 1; }
fi
cmake --build $build --target "${targets[@]/#/fuzz_}" || { echo "fuzz: build failed" >&2; exit 1; }

failed=0
mkdir -p $build/artifacts
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  mkdir -p "$corpus"
  printf 'fuzz: %-8s %3ss ... ' "$t" "$seconds"
  log=$build/fuzz_$t.log
  found=("$build"/tests/*/fuzz_"$t")
  exe=${found[0]}
  if [ -x "$exe" ] && "$exe" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=256 \
       -artifact_prefix="$build/artifacts/${t}-" -print_final_stats=1 \
       "$corpus" "tests/data/fuzz/$t" >"$log" 2>&1; then
    echo "ok ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs)"
  else
    echo "FAILED (see $log)"
    grep -m5 -E 'ERROR|runtime error|deadly signal' "$log" >&2
    failed=1
  fi
done
exit $failed

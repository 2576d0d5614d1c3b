#!/usr/bin/env bash
# The whole test suite: builds the three configurations, runs the native
# tests under ASan/UBSan, the Windows tests under Wine, checks that both
# zdl.exe files import only system DLLs, and runs the fuzz targets briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
start=$SECONDS
step() { printf '\n== %s (%ds)\n' "$*" $((SECONDS - start)); }

step "build native (ASan+UBSan)"
make --no-print-directory native
step "build release (host tools, skin)"
make --no-print-directory release
step "build win64"
make --no-print-directory win64
step "build win32"
make --no-print-directory win32

step "zdl.exe imports only system DLLs"
scripts/check-imports.sh build/win64/zdl.exe build/win32/zdl.exe

fails=0 passed=0 failed=0
# Runs one ctest tree and adds its counts to the totals.
run_ctest() {
  local log
  log=$(mktemp)
  ctest --test-dir "$1" --output-on-failure -j "$jobs" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
  [ "$rc" = 0 ] || fails=1
}

step "native tests"
run_ctest build/native

step "Windows tests under Wine"
. scripts/wine-env.sh
zdl_wine_prefix
zdl_xvfb_start
export ZDL_WINE_DISPLAY=$DISPLAY
zdl_wine_session
run_ctest build/win64
"${ZDL_WINE%/*}/wineserver" -k 2>/dev/null || true
zdl_xvfb_stop

if [ -x scripts/run-fuzz.sh ]; then
  step "fuzz targets"
  scripts/run-fuzz.sh || fails=1
fi

step "done"
echo "$passed passed, $failed failed"
[ $fails = 0 ] || { echo "test-all: some tests failed" >&2; exit 1; }

#!/usr/bin/env bash
# The whole test suite: checks the sources' form first (scripts/lint.sh:
# C++ layout and shell scripts, seconds), builds the four configurations, runs the native
# tests under ASan/UBSan, the Windows tests of both Windows trees under Wine
# (x86_64 under the 64-bit loader, i686 under the 32-bit one), checks that both
# zdl.exe files import only system DLLs, and runs the fuzz targets briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
start=$SECONDS
step() { printf '\n== %s (%ds)\n' "$*" $((SECONDS - start)); }
fails=0 passed=0 failed=0 summary=()

# A layout or shell finding fails the run but stops nothing: the builds and
# tests still show what else there is.
step "lint (C++ format with clang-format-14, shell scripts with shellcheck)"
lint_bad=()
for check in format shell; do
  if scripts/lint.sh "$check"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)) fails=1 lint_bad+=("$check")
  fi
done
summary+=("lint: $((2 - ${#lint_bad[@]})) passed, ${#lint_bad[@]} failed${lint_bad:+ (${lint_bad[*]})}")

step "build native (ASan+UBSan)"
make --no-print-directory native
step "build release (host tools, skin)"
make --no-print-directory release
step "build tsan (the threaded tests with ThreadSanitizer)"
make --no-print-directory tsan
step "build win64"
make --no-print-directory win64
step "build win32"
make --no-print-directory win32

step "zdl.exe imports only system DLLs"
scripts/check-imports.sh build/win64/zdl.exe build/win32/zdl.exe

# Runs one ctest tree (further arguments go to ctest) and adds its counts
# to the totals.
run_ctest() {
  local log
  log=$(mktemp)
  # A failing tree must not end the run (errexit): the next tree still runs.
  local rc=0
  ctest --test-dir "$1" --output-on-failure -j "$jobs" "${@:2}" 2>&1 | tee "$log" || rc=$?
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    summary+=("$1: $((total - bad)) passed, $bad failed")
  fi
  rm -f "$log"
  [ "$rc" = 0 ] || fails=1
}

step "native tests"
run_ctest build/native

step "threaded tests under ThreadSanitizer"
tsan_tests=$(make --no-print-directory -s tsan-tests)
run_ctest build/tsan -R "^($(tr ' ' '|' <<<"$tsan_tests"))\$"

# One Windows tree under Wine in its own prefix and Wine server.
run_wine_tree() {  # win64|win32 tree
  zdl_wine_use "$1"
  zdl_wine_prefix
  zdl_wine_session ""  # the server stays until the tree's tests are done
  run_ctest "$2"
  "${ZDL_WINE%/*}/wineserver" -k 2>/dev/null || true
}

# Whether this machine runs i686 programs under the 32-bit loader (the
# kernel may lack IA32 emulation, or 32-bit Wine may be missing): one tiny
# program, bounded in time, so the answer never fails or hangs the run.
can_run_i686() {
  local probe=build/win32/tests/foundation/zdl_run_probe.exe out
  [ -x /usr/lib/wine/wine ] || { why="no 32-bit Wine loader /usr/lib/wine/wine"; return 1; }
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { why="the kernel does not run i386 programs"; return 1; }
  [ -f "$probe" ] || { why="no $probe"; return 1; }
  timeout --kill-after=10 1200 bash -c '. scripts/wine-env.sh && zdl_wine_use win32 && zdl_wine_prefix' \
    || { why="the win32 prefix could not be made"; return 1; }
  zdl_wine_use win32
  zdl_wine_session ""
  out=$(timeout --kill-after=10 300 scripts/wine-run.sh --timeout 120 "$probe" 2>/dev/null) || true
  out=${out%$'\r'}  # a Windows line end
  [ "$out" = "zdl probe i686" ] || { why="the i686 probe did not run (${out:-no output})"; return 1; }
}

step "Windows tests under Wine (x86_64, ${ZDL_WINE_PREFIX:-/var/cache/zdl-wine/prefix64})"
. scripts/wine-env.sh
zdl_xvfb_start
export ZDL_WINE_DISPLAY=$DISPLAY
run_wine_tree win64 build/win64

step "Windows tests under 32-bit Wine (i686, ${ZDL_WINE_PREFIX32:-/var/cache/zdl-wine/prefix32})"
start32=$SECONDS
why=
if can_run_i686; then
  run_wine_tree win32 build/win32
  echo "test-all: the i686 tree took $((SECONDS - start32)) s"
else
  [ "$WINEARCH" = win32 ] && { "${ZDL_WINE%/*}/wineserver" -k 2>/dev/null || true; }
  echo "!!!!!!!! test-all: THIS MACHINE CANNOT RUN 32-BIT WINDOWS PROGRAMS ($why): build/win32 NOT TESTED, 64-bit set only !!!!!!!!"
fi
zdl_xvfb_stop

if [ -x scripts/run-fuzz.sh ]; then
  step "fuzz targets"
  scripts/run-fuzz.sh || fails=1
fi

step "done"
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ $fails = 0 ] || { echo "test-all: some tests failed" >&2; exit 1; }

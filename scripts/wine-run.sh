#!/usr/bin/env bash
# Runs a Windows program under Wine and returns its exit code, with its
# standard output and error passed through. An i686 program runs under the
# 32-bit loader in the win32 prefix ($ZDL_WINE_PREFIX32), an x86_64 one under
# the 64-bit loader in the win64 prefix ($ZDL_WINE_PREFIX).
#
#   wine-run.sh [--timeout SECONDS] [--shot FILE [--shot-after SECONDS]] [--live] PROGRAM.exe [ARGS...]
#   wine-run.sh --slowness PROGRAM.exe
#
# The display is $ZDL_WINE_DISPLAY when set (a shared Xvfb, as `make test`
# provides), otherwise a private Xvfb started and stopped here. --shot
# captures the screen to a PNG after --shot-after seconds (default 3) while
# the program runs. A program still running at the timeout is killed and the
# exit code is 124. Standard input is empty; output is passed on when the
# program ends, or as it comes with --live (for a caller that reads it line
# by line and copes with a Windows child of the program keeping the
# streams open). --slowness prints how many times slower than natively the
# program runs under its loader here (zdl_wine_slowness) and exits 2 when
# its loader is missing.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
. "$here/wine-env.sh"

timeout=120 shot='' shot_after=3 live='' slowness=''
while [ $# -gt 0 ]; do
  case "$1" in
    --timeout) timeout=$2; shift 2 ;;
    --shot) shot=$2; shift 2 ;;
    --shot-after) shot_after=$2; shift 2 ;;
    --live) live=1; shift ;;
    --slowness) slowness=1; shift ;;
    --) shift; break ;;
    -*) echo "wine-run: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--timeout S] [--shot FILE] PROGRAM.exe [ARGS...]" >&2; exit 2; }
[ -f "$1" ] || { echo "wine-run: no such program: $1" >&2; exit 2; }

zdl_wine_use "$(zdl_pe_arch "$1")" || exit 2
[ -x "$ZDL_WINE" ] || { echo "wine-run: no $ZDL_WINE for this $WINEARCH program (make deps)" >&2; exit 2; }
if [ -n "$slowness" ]; then
  zdl_wine_slowness
  exit 0
fi
zdl_wine_prefix || exit 1
if [ -n "${ZDL_WINE_DISPLAY:-}" ]; then
  export DISPLAY=$ZDL_WINE_DISPLAY
else
  zdl_xvfb_start || exit 1
  trap zdl_xvfb_stop EXIT
fi
zdl_wine_session 5

if [ -n "$live" ]; then
  timeout --kill-after=5 "$timeout" "$ZDL_WINE" "$@" </dev/null
  exit $?
fi
# The program writes to files, passed on when it ends: a child it leaves
# running (Windows children outlive their parents) then cannot keep our
# caller's pipe open.
out=$(mktemp) err=$(mktemp)
timeout --kill-after=5 "$timeout" "$ZDL_WINE" "$@" >"$out" 2>"$err" </dev/null &
pid=$!
if [ -n "$shot" ]; then
  sleep "$shot_after"
  zdl_wine_shot "$shot" || echo "wine-run: screenshot failed" >&2
fi
wait $pid
code=$?
cat "$out"
cat "$err" >&2
# A program that dies before it writes anything leaves its runner only the
# exit code: say it (in hex too: a Windows status such as 0xC0000135, a DLL
# that did not load, arrives as its low byte), and the signal when one ended
# the loader.
if [ $code -ne 0 ]; then
  how="exit code $code ($(printf '0x%02X' $code))"
  [ $code -gt 128 ] && [ $code -ne 124 ] && how="$how, signal $(kill -l $((code - 128)) 2>/dev/null)"
  [ -s "$out" ] || [ -s "$err" ] || how="$how, no output"
  echo "wine-run: ${1##*/} ended: $how" >&2
fi
rm -f "$out" "$err"
exit $code

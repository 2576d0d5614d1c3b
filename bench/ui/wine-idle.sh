#!/usr/bin/env bash
# CPU use of zdl.exe under Wine, in percent of one core: with the licence
# window up, then on the download page after "accept" (nothing animates),
# then downloading at 2048 KB/s (the progress head animating) from a sample
# client served on the program's address. Counted for the program's own
# process and, beside it, for the Wine server and the X server that serve
# it. Runs on a private Xvfb.
#
#   bench/ui/wine-idle.sh [ZDL_EXE] [SECONDS]     (default build/win64/zdl.exe, 10)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(realpath "${1:-$root/build/win64/zdl.exe}")
secs=${2:-10}
. "$root/scripts/wine-env.sh"
. "$root/scripts/sample-site.sh"
. "$root/bench/ui/wine-windows.sh"
zdl_wine_use "$(zdl_pe_arch "$exe")"
command -v xdotool >/dev/null || { echo "wine-idle: needs xdotool" >&2; exit 1; }
zdl_sample_address "$(dirname "$exe")" || exit 1
zdl_sample_port_lock 600 || { echo "wine-idle: port $SAMPLE_PORT stays locked or in use" >&2; exit 1; }
site=$root/build/bench-throughput
zdl_sample_site "$root/build/release" "$site/www" 512 || exit 1
ZDL_SERVER_PORT=$SAMPLE_PORT "$root/scripts/content-server.sh" start "$site/www" "$site/idle-nginx" >/dev/null 8>&- || exit 1
zdl_wine_prefix 8>&- || exit 1
zdl_xvfb_start 8>&- || exit 1
xvfb=$ZDL_XVFB_PID
work=$WINEPREFIX/drive_c/zdl-idle
rm -rf "$work"
mkdir -p "$work"
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  "$root/scripts/content-server.sh" stop "$site/idle-nginx" >/dev/null 2>&1
  zdl_xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT
zdl_wine_session 5 8>&-
cp "$exe" "$work/zdl.exe"
printf 'LimitDownloadSpd=1\r\nMaxDownloadSpd=2048\r\nDefaultDir=C:\\zdl-idle\\client\\\r\n' >"$work/zphdownloader.ini"
(cd "$work" && exec "$ZDL_WINE" "$work/zdl.exe" >/dev/null 2>&1 </dev/null 8>&-) &
pid=$!

# Clock ticks (user + system) of one process.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
hz=$(getconf CLK_TCK)
# The Windows process carries the program's name; the Wine server is the one
# of this prefix (other prefixes' servers may run beside it).
program_pid() { pgrep -x zdl.exe -n; }
server_pid() {
  local s
  for s in $(pgrep -f 'wineserver'); do
    tr '\0' '\n' <"/proc/$s/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$s"; return; }
  done
}
measure() { # label
  local p s t0p t0s t0x t1p t1s t1x
  p=$(program_pid) s=$(server_pid)
  [ -n "$p" ] || { echo "wine-idle: zdl.exe is not running" >&2; exit 1; }
  t0p=$(ticks "$p") t0s=$(ticks "${s:-0}") t0x=$(ticks "$xvfb")
  sleep "$secs"
  t1p=$(ticks "$p") t1s=$(ticks "${s:-0}") t1x=$(ticks "$xvfb")
  awk -v l="$1" -v p=$((t1p - t0p)) -v s=$((t1s - t0s)) -v x=$((t1x - t0x)) -v hz="$hz" -v n="$secs" \
    'BEGIN { printf "%-34s zdl.exe %5.1f %%   wineserver %5.1f %%   Xvfb %5.1f %%\n", l, 100*p/hz/n, 100*s/hz/n, 100*x/hz/n }'
}

zdl_find_windows 60 || { echo "wine-idle: no main and licence window within 60 s" >&2; exit 1; }
sleep 3
echo "wine-idle: $(basename "$(dirname "$exe")")/zdl.exe over $secs s each"
measure "licence window up"
geometry "$lid"
click $((X + 150)) $((Y + 466))
sleep 3
xdotool search --onlyvisible --name Zephyra 2>/dev/null | grep -qx "$lid" && { echo "wine-idle: accept did not close the licence window" >&2; exit 1; }
xdotool mousemove 5 5
sleep 1
measure "download page, idle"
geometry "$wid"
click $((X + 720)) $((Y + 285))
xdotool mousemove 5 5
sleep 8
measure "downloading at 2048 KB/s"
[ -f "$work/client/version.bin" ] && echo "wine-idle: the download completed while measured; measure again" >&2

#!/usr/bin/env bash
# Download throughput of zdl.exe's window against zdl-headless.exe, both
# under Wine with the same embedded core, from one nginx on 127.0.0.1
# serving a sample client on the address built into the programs. The
# window's speed limit is raised in its settings file (the default is
# 10000 KB/s), the headless one gets the same limit; each downloads into a
# fresh folder. Prints seconds and MiB/s for each and their ratio.
#
#   bench/ui/wine-throughput.sh [BUILD_TREE] [MIB]    (default build/win64, 512)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tree=$(cd "${1:-$root/build/win64}" && pwd)
mib=${2:-512}
limit=2000000 # KB/s: far above what loopback gives
exe=$tree/zdl.exe headless=$tree/app/headless/zdl-headless.exe
. "$root/scripts/wine-env.sh"
. "$root/scripts/sample-site.sh"
. "$root/bench/ui/wine-windows.sh"
die() { echo "wine-throughput: $*" >&2; exit 1; }
{ [ -f "$exe" ] && [ -f "$headless" ]; } || die "build $tree first"
command -v xdotool >/dev/null || die "needs xdotool"
zdl_wine_use "$(zdl_pe_arch "$exe")"
zdl_sample_address "$tree" || exit 1
work=$root/build/bench-throughput
zdl_sample_port_lock 600 || die "port $SAMPLE_PORT stays locked or in use"
echo "wine-throughput: a $mib MiB sample client"
zdl_sample_site "$root/build/release" "$work/www" "$mib" || exit 1
ZDL_SERVER_PORT=$SAMPLE_PORT "$root/scripts/content-server.sh" start "$work/www" "$work/nginx" >/dev/null 8>&- ||
  die "nginx could not serve on 127.0.0.1:$SAMPLE_PORT"
zdl_wine_prefix 8>&- || exit 1
zdl_xvfb_start 8>&- || exit 1
zdl_wine_session 5 8>&-
dest=$WINEPREFIX/drive_c/zdl-throughput
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  "$root/scripts/content-server.sh" stop "$work/nginx" >/dev/null 2>&1
  zdl_xvfb_stop
  rm -rf "$dest"
}
trap cleanup EXIT
rm -rf "$dest"
mkdir -p "$dest/bin"
# Files and bytes of a client folder (names differ in encoding between the
# served GBK tree and Wine's UTF-8 one; the contents are tested elsewhere).
tally() { find "$1" -path '*/.zdlcore' -prune -o -type f ! -name version.bin -printf '%s\n' | awk '{ n++; b += $1 } END { print n, b }'; }
served=$(tally "$SAMPLE_FILES")
report() { # label seconds
  awk -v l="$1" -v s="$2" -v m="$mib" 'BEGIN { printf "  %-22s %7.1f s  %7.1f MiB/s\n", l, s, m / s }'
}

# The headless downloader: start to exit (its Wine start-up included, about
# a second).
t0=$(date +%s.%N)
"$root/scripts/wine-run.sh" --timeout 1200 "$headless" "C:\\zdl-throughput\\headless\\" --no-share --down $limit >/dev/null 2>&1 ||
  die "zdl-headless.exe failed"
t1=$(date +%s.%N)
headless_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
[ "$(tally "$dest/headless")" = "$served" ] || die "the headless download is not the whole client"
rm -rf "$dest/headless"

# The window: "accept", then "install" pressed to version.bin written.
cp "$exe" "$dest/bin/zdl.exe"
printf 'P2PShare=0\r\nLimitDownloadSpd=1\r\nMaxDownloadSpd=%d\r\nDefaultDir=C:\\zdl-throughput\\window\\\r\n' $limit >"$dest/bin/zphdownloader.ini"
(cd "$dest/bin" && exec "$ZDL_WINE" "$dest/bin/zdl.exe" >/dev/null 2>&1 </dev/null 8>&-) &
pid=$!
zdl_find_windows 120 || die "no windows within 120 s"
sleep 2
geometry "$lid" && click $((X + 150)) $((Y + 466))
sleep 2
geometry "$wid" && click $((X + 720)) $((Y + 285))
t0=$(date +%s.%N)
for _ in $(seq 2400); do
  [ -f "$dest/window/version.bin" ] && break
  kill -0 "$pid" 2>/dev/null || die "zdl.exe ended during the download"
  sleep 0.5
done
t1=$(date +%s.%N)
[ -f "$dest/window/version.bin" ] || die "no version record within 20 minutes"
window_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
[ "$(tally "$dest/window")" = "$served" ] || die "the window's download is not the whole client"

echo "wine-throughput: $(basename "$tree"), $mib MiB over loopback, limit $limit KB/s"
report "zdl-headless.exe" "$headless_s"
report "zdl.exe (window)" "$window_s"
awk -v h="$headless_s" -v w="$window_s" 'BEGIN { printf "  window / headless throughput: %.2f\n", h / w }'

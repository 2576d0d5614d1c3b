#!/usr/bin/env bash
# A whole install as a person does it, under Wine with the real download
# core: a generated sample client is served by nginx on the address built
# into zdl.exe (string 150), zdl.exe starts on its own Xvfb, and real mouse
# clicks press "accept" on the licence window, "install" on the page and,
# once the download is complete, "finish". Checked at the end:
#   - the install folder matches the served client byte for byte;
#   - its "version.bin" holds exactly "special_instal_20190627:23\r\n";
#   - zdl.exe ended with exit code 0.
#
#   journey.sh ZDL_EXE TOOLS_BUILD OUT_DIR
#
# TOOLS_BUILD is a host build with zdl-sampleclient and zdl-mkdesc (the
# release tree). Screenshots (1-licence.png ... 5-finished.png) and logs are
# left in OUT_DIR. The served address's port is shared with `make demo`:
# both hold /tmp/zdl-port-PORT.lock while serving. ZDL_JOURNEY_MIB sets the
# sample client's size (default 16). Exit 0 on success, 1 on a failed
# check, 77 when something the run needs is missing or the port is taken.
# An i686 zdl.exe runs under the 32-bit loader; the waits grow with the
# slowness of the program's Wine (zdl_wine_slowness: qemu-user's tenfold).
set -uo pipefail
exe=$1 tools=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
. "$scripts/wine-env.sh"
mib=${ZDL_JOURNEY_MIB:-16}

skip() { echo "journey: $*; skipped" >&2; exit 77; }
fail() { echo "journey: FAIL: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "no program $exe"
zdl_wine_use "$(zdl_pe_arch "$exe")" || fail "not a Windows program: $exe"
slow=$(zdl_wine_slowness)
sampleclient=$tools/tools/sampleclient/zdl-sampleclient
mkdesc=$tools/tools/mkdesc/zdl-mkdesc
[ -x "$sampleclient" ] && [ -x "$mkdesc" ] || skip "no zdl-sampleclient / zdl-mkdesc in $tools"
[ -x "$ZDL_WINE" ] || skip "no Wine"
command -v xdotool >/dev/null && command -v import >/dev/null || skip "no xdotool or ImageMagick"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The address the program carries.
cache=$(dirname "$exe")/CMakeCache.txt
url=$(sed -n 's/^ZDL_SOURCE_URL:STRING=//p' "$cache" 2>/dev/null)
url=${url:-http://127.0.0.1:8089/zphdownload_setup.exe.data}
hostport=$(echo "$url" | sed -n 's#^http://\([^/]*\)/.*#\1#p')
host=${hostport%%:*} port=${hostport##*:}
[ "$port" != "$hostport" ] || port=80
[ "$host" = 127.0.0.1 ] || [ "$host" = localhost ] || skip "the program's source $url is not on this machine"
name=${url##*/}
prefix=$(echo "$url" | sed -n 's#^http://[^/]*\(/.*\)/[^/]*$#\1#p')

# (Children never inherit the lock: a server's watchdog or the Wine server
# outliving this run would keep it.)
exec 8>"/tmp/zdl-port-$port.lock"
flock -w 600 8 || skip "port $port stays locked"
# As nginx binds (SO_REUSEADDR): the closed connections of an earlier run
# in TIME_WAIT on the port do not keep it.
python3 -c "import socket as k; s=k.socket(); s.setsockopt(k.SOL_SOCKET, k.SO_REUSEADDR, 1); s.bind(('127.0.0.1',$port))" 2>/dev/null ||
  skip "port $port is in use by another program"

# The client, served.
www=$out/www
if [ ! -f "$www/.made-$mib" ]; then
  rm -rf "$www"
  "$sampleclient" "$www$prefix/files" "$mib" 1 >/dev/null || fail "zdl-sampleclient"
  "$mkdesc" "$www$prefix/files" "$www$prefix" --raw-names --name "$name" >/dev/null || fail "zdl-mkdesc"
  touch "$www/.made-$mib"
fi
served=$www$prefix/files
[ ! -e "$served/version.bin" ] || fail "the sample client carries a version.bin"
ZDL_SERVER_PORT=$port ZDL_SERVER_LIFETIME=900 "$scripts/content-server.sh" start "$www" "$out/nginx" >/dev/null 8>&- ||
  skip "nginx could not serve on 127.0.0.1:$port"

# A copy of the program in a folder of its own: no settings file from an
# earlier run. No D: drive in the prefix, so the default folder is on C:.
zdl_wine_prefix 8>&- || skip "no Wine prefix"
[ ! -e "$WINEPREFIX/dosdevices/d:" ] || skip "the Wine prefix has a D: drive"
install="$WINEPREFIX/drive_c/Program Files/Orvane/Zephyra"
rm -rf "$install" "$out/bin" "$out"/*.png
mkdir -p "$out/bin"
cp "$exe" "$out/bin/zdl.exe"

zdl_xvfb_start 8>&- || skip "no Xvfb"
zdl_wine_session 5 8>&-
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  "$scripts/content-server.sh" stop "$out/nginx" >/dev/null 2>&1
  zdl_xvfb_stop
}
trap cleanup EXIT
shot() { import -window root "$out/$1.png" && echo "journey: screenshot $out/$1.png"; }
visible() { xdotool search --onlyvisible --name 'Zephyra' 2>/dev/null; }
geometry() { # window: sets X Y WIDTH HEIGHT
  X= Y= WIDTH= HEIGHT=
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
  [ -n "$X" ] && [ -n "$WIDTH" ]
}
alive() { kill -0 "$pid" 2>/dev/null; }
click() { # x y
  xdotool mousemove "$1" "$2"
  sleep 0.5
  xdotool click 1
}

(cd "$out/bin" && exec "$ZDL_WINE" "$out/bin/zdl.exe" >"$out/zdl.log" 2>&1 </dev/null 8>&-) &
pid=$!

# The main window (868 x 513) and the licence window (488 x 510) over it.
wid= lid=
for _ in $(seq $((120 * slow))); do
  for w in $(visible); do
    geometry "$w" || continue
    [ "${WIDTH}x$HEIGHT" = 868x513 ] && wid=$w
    [ "${WIDTH}x$HEIGHT" = 488x510 ] && lid=$w
  done
  [ -n "$wid" ] && [ -n "$lid" ] && break
  alive || fail "zdl.exe ended before its windows appeared"
  sleep 0.5
done
[ -n "$wid" ] && [ -n "$lid" ] || fail "no main window with the licence window within $((60 * slow)) s"
sleep 2
shot 1-licence
geometry "$lid" || fail "the licence window vanished"
lx=$X ly=$Y
geometry "$wid" || fail "the main window vanished"
mx=$X my=$Y

# "accept" on the licence window (its button at 120,452). Windows keeps an
# owned window above its owner; a bare X display without a window manager
# stacks by mapping order, and Wine maps the main window last, so the
# licence window is raised here as a window manager would.
xdotool windowraise "$lid"
sleep 1
click $((lx + 150)) $((ly + 466))
for _ in $(seq $((40 * slow))); do
  visible | grep -qx "$lid" || break
  sleep 0.5
done
visible | grep -qx "$lid" && fail "the licence window stays after accept"
sleep 1
shot 2-accepted

# "install" (at 680,270 on the page; "stop" and "finish" take its place).
click $((mx + 720)) $((my + 285))
sleep 4
shot 3-downloading
alive || fail "zdl.exe ended after install"

# The download: done when the version record is there (written before
# "finish" shows).
for _ in $(seq $((300 * slow))); do
  [ -f "$install/version.bin" ] && break
  alive || fail "zdl.exe ended during the download"
  sleep 1
done
[ -f "$install/version.bin" ] || fail "no version.bin within $((300 * slow)) s"
sleep 3
shot 4-complete

# "finish": shortcuts, the game started (the sample's zpc.exe is no
# program; its start fails quietly) and the program ends.
click $((mx + 720)) $((my + 285))
for _ in $(seq $((60 * slow))); do
  alive || break
  sleep 0.5
done
shot 5-finished
alive && fail "zdl.exe still runs $((30 * slow)) s after finish"
wait "$pid"
rc=$?
pid=

[ "$rc" = 0 ] || fail "zdl.exe exit code $rc"
printf 'special_instal_20190627:23\r\n' | cmp -s - "$install/version.bin" || fail "version.bin is not the version record"
# Byte for byte; the served names are GBK, and Wine keeps a file's name on
# the Linux side in UTF-8.
python3 - "$served" "$install" >"$out/diff.log" 2>&1 <<'PY' || fail "the install folder differs from the served client (see $out/diff.log)"
import filecmp, os, sys
served, install = os.fsencode(sys.argv[1]), os.fsencode(sys.argv[2])
def files(root, gbk):
    out = {}
    for d, _, names in os.walk(root):
        for n in names:
            rel = os.path.relpath(os.path.join(d, n), root)
            out[rel.decode('gbk').encode() if gbk else rel] = os.path.join(d, n)
    return out
a, b = files(served, True), files(install, False)
extra = set(b) - set(a) - {b'version.bin'}
extra = {e for e in extra if not e.startswith(b'.zdlcore')}
missing = set(a) - set(b)
bad = [k for k in set(a) & set(b) if not filecmp.cmp(a[k], b[k], shallow=False)]
for k in sorted(missing): print('missing', k)
for k in sorted(extra): print('extra', k)
for k in sorted(bad): print('differs', k)
print(len(a), 'files compared')
sys.exit(1 if missing or extra or bad else 0)
PY
echo "journey: PASS: $(du -sh "$install" | cut -f1) installed to C:\\Program Files\\Orvane\\Zephyra, exit code 0"

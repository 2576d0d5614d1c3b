# shellcheck shell=bash
# Shared by the Wine journeys (journey.sh, journey-diskfull.sh), sourced
# with their arguments ZDL_EXE TOOLS_BUILD OUT_DIR [HELPERS_DIR]: checks what
# a run needs, takes the served port's lock, serves the sample client (its
# "zpc.exe" the stand-in game), copies zdl.exe into OUT_DIR/bin, starts an
# Xvfb of its own, and gives the steps' helpers. Every wait is bounded. A
# journey may define journey_cleanup, run on exit.
set -uo pipefail
exe=$1 tools=$2 out=$3
helpers=${4:-$(dirname "$exe")/tests/ui_win}
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
. "$scripts/wine-env.sh"
mib=${ZDL_JOURNEY_MIB:-16}

skip() { echo "journey: $*; skipped" >&2; exit 77; }
fail() {
  echo "journey: FAIL: $*" >&2
  [ -z "${ZDL_XVFB_PID:-}" ] || import -window root "$out/failed.png" 2>/dev/null
  exit 1
}
say() { echo "journey: [${SECONDS}s] $*"; }
[ -f "$exe" ] || fail "no program $exe"
# An i686 zdl.exe runs under the 32-bit loader; bounded waits grow with the
# slowness of the program's Wine (qemu-user's tenfold where the kernel runs
# no 32-bit code).
zdl_wine_use "$(zdl_pe_arch "$exe")" || fail "not a Windows program: $exe"
slow=$(zdl_wine_slowness)
sampleclient=$tools/tools/sampleclient/zdl-sampleclient
mkdesc=$tools/tools/mkdesc/zdl-mkdesc
[ -x "$sampleclient" ] && [ -x "$mkdesc" ] || skip "no zdl-sampleclient / zdl-mkdesc in $tools"
game=$helpers/zdl_standin_game.exe readlink=$helpers/zdl_readlink.exe
[ -f "$game" ] && [ -f "$readlink" ] || fail "no zdl_standin_game.exe / zdl_readlink.exe in $helpers"
[ -x "$ZDL_WINE" ] || skip "no Wine"
for t in xdotool import compare convert xwininfo ss; do
  command -v $t >/dev/null || skip "no $t (xdotool, ImageMagick, x11-utils, iproute2)"
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The address the program carries, its port's lock, and the client served
# there with the stand-in game as its "zpc.exe" (placed before the
# description is made, so its digest is the stand-in's).
. "$scripts/sample-site.sh"
zdl_sample_address "$(dirname "$exe")" 2>/dev/null || skip "the program's source is not on this machine"
port=$SAMPLE_PORT
zdl_sample_port_lock 240
case $? in
1) skip "port $port stays locked for 4 minutes" ;;
2) skip "port $port is in use by another program" ;;
esac
say "port $port is ours"
www=$out/www
zdl_sample_site "$tools" "$www" "$mib" "$game" || fail "the sample client could not be made"
served=$SAMPLE_FILES
[ ! -e "$served/version.bin" ] || fail "the sample client carries a version.bin"
serve() { ZDL_SERVER_PORT=$port ZDL_SERVER_LIFETIME=900 "$scripts/content-server.sh" start "$www" "$out/nginx" >/dev/null 8>&-; }
serve || skip "nginx could not serve on 127.0.0.1:$port"

# A copy of the program in a folder of its own: no settings file from an
# earlier run. No D: drive in the prefix, so the default folder is on C:.
# No menu entries or desktop files outside the prefix for the links.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
zdl_wine_prefix 8>&- || skip "no Wine prefix"
[ ! -e "$WINEPREFIX/dosdevices/d:" ] || skip "the Wine prefix has a D: drive"
# Wine makes the desktop a link to the home folder; the desktop link is
# kept inside the prefix instead.
for d in "$WINEPREFIX"/drive_c/users/*/Desktop; do
  [ -L "$d" ] && rm -f "$d" && mkdir -p "$d"
done
install="$WINEPREFIX/drive_c/Program Files/Orvane/Zephyra"
# The links "finish" makes: on the desktop, in the program group and, on
# systems other than Vista to 8, in Quick Launch.
link_files() {
  local l
  for l in "$WINEPREFIX"/drive_c/users/*/Desktop/Zephyra免费版.lnk \
    "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Zephyra免费版/Zephyra免费版.lnk \
    "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Internet\ Explorer/Quick\ Launch/Zephyra免费版.lnk; do
    [ -f "$l" ] && echo "$l"
  done
}
link_files | while IFS= read -r l; do rm -f "$l"; done
rm -rf "$install" "$out/bin" "$out"/*.png
mkdir -p "$out/bin"
cp "$exe" "$out/bin/zdl.exe"
ini=$out/bin/zphdownloader.ini

zdl_xvfb_start 8>&- || skip "no Xvfb"
zdl_wine_session 5 8>&-
pid= pid2=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$pid2" ] && kill "$pid2" 2>/dev/null
  "$scripts/content-server.sh" stop "$out/nginx" >/dev/null 2>&1
  zdl_xvfb_stop
  ! declare -F journey_cleanup >/dev/null || journey_cleanup
}
trap cleanup EXIT
shot() { import -window root "$out/$1.png" && say "screenshot $out/$1.png"; }
visible() { xdotool search --onlyvisible --name "${1:-Zephyra}" 2>/dev/null; }
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
key() { # x y key...: keys to the window under the pointer (no window manager: focus follows the pointer)
  local x=$1 y=$2
  shift 2
  xdotool mousemove "$x" "$y"
  sleep 0.3
  for k in "$@"; do
    xdotool key "$k"
    sleep 0.3
  done
}
# A visible window named like $1 that is neither the main nor the licence
# window, within $2 seconds: sets W and its geometry.
other_window() {
  local w n
  W=
  for n in $(seq $(($2 * 2))); do
    for w in $(visible "$1"); do
      [ "$w" = "$wid" ] || [ "$w" = "$lid" ] && continue
      geometry "$w" && W=$w && return 0
    done
    sleep 0.5
  done
  return 1
}
gone() { # window seconds: true once the window is no longer shown
  local n
  for n in $(seq $(($2 * 2))); do
    visible . | grep -qx "$1" || return 0
    sleep 0.5
  done
  return 1
}
# Pixels that differ between two screenshots inside WxH+X+Y.
changed() { # a b geometry
  convert "$out/$1.png" -crop "$3" +repage "$out/crop-a.png" &&
    convert "$out/$2.png" -crop "$3" +repage "$out/crop-b.png" &&
    compare -metric AE "$out/crop-a.png" "$out/crop-b.png" null: 2>&1 | cut -d' ' -f1
}
# The core gives each file its full size first: the bytes written are
# what the disk stores.
stored() { du -s --block-size=1 "$install" 2>/dev/null | cut -f1; }
connections() { ss -Htn state established "( sport = :$port )" 2>/dev/null | wc -l; }

# Starts zdl.exe from $out/bin and waits for its main window (868 x 513)
# with the licence window (488 x 510): sets pid, wid, lid, their places
# (mx, my, lx, ly) and takes the screenshot $1.
start_zdl() {
  (cd "$out/bin" && exec "$ZDL_WINE" "$out/bin/zdl.exe" >"$out/zdl.log" 2>&1 </dev/null 8>&-) &
  pid=$!
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
  [ -n "$wid" ] && [ -n "$lid" ] || fail "no main window with the licence window within 60 s"
  sleep 2
  shot "$1"
  geometry "$lid" || fail "the licence window vanished"
  lx=$X ly=$Y
  geometry "$wid" || fail "the main window vanished"
  mx=$X my=$Y
}

# "accept" on the licence window (its button at 120,452).
accept_licence() {
  click $((lx + 150)) $((ly + 466))
  gone "$lid" 20 || fail "the licence window stays after accept"
}

# The install folder against the served client, byte for byte, names
# included: the sample site serves UTF-8 names, and Wine keeps the names the
# Windows core writes in GBK as UTF-8 on the Linux side.
same_as_served() {
  python3 - "$served" "$install" >"$out/diff.log" 2>&1 <<'PY' || fail "the install folder differs from the served client (see $out/diff.log)"
import filecmp, os, sys
served, install = os.fsencode(sys.argv[1]), os.fsencode(sys.argv[2])
def files(root):
    out = {}
    for d, _, names in os.walk(root):
        for n in names:
            rel = os.path.relpath(os.path.join(d, n), root)
            out[rel] = os.path.join(d, n)
    return out
a, b = files(served), files(install)
if not any(max(k) > 127 for k in a):
    print('the served client has no non-ASCII name')
    sys.exit(1)
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
  printf 'special_instal_20190627:23\r\n' | cmp -s - "$install/version.bin" || fail "version.bin is not the version record"
}

# Clicks at (x, y), waits up to SECONDS for zdl.exe to end, takes the
# screenshot SHOT and fails unless it ended with exit code 0.
click_to_end() { # x y seconds shot what
  click "$1" "$2"
  for _ in $(seq $(($3 * 2 * slow))); do
    alive || break
    sleep 0.5
  done
  shot "$4"
  alive && fail "zdl.exe still runs $(($3 * slow)) s after $5"
  wait "$pid"
  local rc=$?
  pid=
  [ "$rc" = 0 ] || fail "zdl.exe exit code $rc after $5"
}

# Waits up to SECONDS for the version record, written when the download
# completes (before "finish" shows); fails if zdl.exe ends first.
wait_complete() { # seconds what-the-time-counts-from
  for _ in $(seq $(($1 * slow))); do
    [ -f "$install/version.bin" ] && return 0
    alive || fail "zdl.exe ended during the download"
    sleep 1
  done
  fail "no version.bin within $(($1 * slow)) s of $2"
}

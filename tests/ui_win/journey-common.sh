# shellcheck shell=bash
# Shared by the Wine journeys (journey.sh, journey-diskfull.sh), sourced
# with their arguments ZDL_EXE TOOLS_BUILD OUT_DIR [HELPERS_DIR]: checks what
# a run needs, takes the served port's lock, serves the sample client (its
# "zpc.exe" the stand-in game) on every mirror the program lists, copies zdl.exe into OUT_DIR/bin, starts an
# Xvfb of its own, and gives the steps' helpers. Every wait is bounded. A
# journey may define journey_cleanup, run on exit.
# The steps wait on what they need to see (a window, a file, pixels that
# change or hold still), each wait bounded and grown with the slowness of
# the program's Wine, never on a fixed pause.
#
# ZDL_JOURNEY_LANG picks the locale, and with it Wine's ANSI code page
# (zh_CN.UTF-8: 936, en_US.UTF-8: 1252, hi_IN.UTF-8: 65001); the locale must
# exist on this machine (scripts/deps.sh makes them). ZDL_JOURNEY_USER names
# the Windows user (its profile, temporary folder, desktop and Start menu
# carry the name), in a prefix of its own.
set -uo pipefail
exe=$1 tools=$2 out=$3
helpers=${4:-$(dirname "$exe")/tests/ui_win}
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
if [ -n "${ZDL_JOURNEY_LANG:-}" ]; then
  locale -a 2>/dev/null | grep -qix "${ZDL_JOURNEY_LANG%%.*}.utf8" ||
    { echo "journey: no $ZDL_JOURNEY_LANG locale (scripts/deps.sh makes it); skipped" >&2; exit 77; }
  export ZDL_WINE_LANG=$ZDL_JOURNEY_LANG
fi
# Wine names the profile folder after the Unix user ($USER) when it makes a
# prefix and keeps that name, so another user gets a prefix of its own
# (made once, then cached like the others).
if [ -n "${ZDL_JOURNEY_USER:-}" ]; then
  export USER=$ZDL_JOURNEY_USER LOGNAME=$ZDL_JOURNEY_USER WINEUSERNAME=$ZDL_JOURNEY_USER
  ZDL_WINE_PREFIX="${ZDL_WINE_PREFIX:-/var/cache/zdl-wine/prefix64}-user-$(printf %s "$USER" | md5sum | cut -c1-8)"
  export ZDL_WINE_PREFIX
fi
# shellcheck source=scripts/wine-env.sh
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
{ [ -x "$sampleclient" ] && [ -x "$mkdesc" ]; } || skip "no zdl-sampleclient / zdl-mkdesc in $tools"
game=$helpers/zdl_standin_game.exe readlink=$helpers/zdl_readlink.exe
{ [ -f "$game" ] && [ -f "$readlink" ]; } || fail "no zdl_standin_game.exe / zdl_readlink.exe in $helpers"
[ -x "$ZDL_WINE" ] || skip "no Wine"
for t in xdotool import compare convert xwininfo ss; do
  command -v $t >/dev/null || skip "no $t (xdotool, ImageMagick, x11-utils, iproute2)"
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The address the program carries, its port's lock, and the client served
# there with the stand-in game as its "zpc.exe" (placed before the
# description is made, so its digest is the stand-in's).
# shellcheck source=scripts/sample-site.sh
. "$scripts/sample-site.sh"
zdl_sample_address "$(dirname "$exe")" 2>/dev/null || skip "the program's source is not on this machine"
port=$SAMPLE_PORT
zdl_sample_port_lock 240
case $? in
1) skip "port $port stays locked for 4 minutes" ;;
2) skip "port ${SAMPLE_PORTS// /, } is in use by another program" ;;
esac
say "port ${SAMPLE_PORTS// /, } is ours"
www=$out/www
zdl_sample_site "$tools" "$www" "$mib" "$game" || fail "the sample client could not be made"
served=$SAMPLE_FILES
[ ! -e "$served/version.bin" ] || fail "the sample client carries a version.bin"
# ZDL_JOURNEY_SIGN_KEY (a minisign secret key without a password, for a
# program built with its public key): the release is served signed, its
# digest's signature beside it; otherwise unsigned.
if [ -n "${ZDL_JOURNEY_SIGN_KEY:-}" ]; then
  zdl_sample_sign "$ZDL_JOURNEY_SIGN_KEY" || fail "the sample release could not be signed"
  say "the release is signed: $SAMPLE_DIGEST.minisig"
else
  rm -f "$(dirname "$served")/$SAMPLE_NAME.digest.minisig"
fi
# Every mirror the program lists (all on this machine, the same folder)
# is an nginx of its own serving the one site: mirror 1 (the first port)
# logs in $out/nginx, mirror N in $out/nginx-N.
read -ra ports <<<"$SAMPLE_PORTS"
mirror_dir() { if [ "$1" = 1 ]; then echo "$out/nginx"; else echo "$out/nginx-$1"; fi; }
serve() { # [mirror...]: all without one
  local i
  [ $# -gt 0 ] || set -- $(seq ${#ports[@]})
  for i in "$@"; do
    ZDL_SERVER_PORT=${ports[i - 1]} ZDL_SERVER_LIFETIME=900 "$scripts/content-server.sh" start "$www" "$(mirror_dir "$i")" >/dev/null 8>&- || return 1
  done
}
unserve() { # [mirror...]: all without one
  local i
  [ $# -gt 0 ] || set -- $(seq ${#ports[@]})
  for i in "$@"; do
    "$scripts/content-server.sh" stop "$(mirror_dir "$i")" >/dev/null 2>&1
  done
}
# Each run's logs alone (a mirror's bytes are counted from them).
rm -rf "$out/nginx" "$out"/nginx-[0-9]*
serve || skip "nginx could not serve on 127.0.0.1:${SAMPLE_PORTS// /, }"

# A copy of the program in a folder of its own: no settings file from an
# earlier run. No D: drive in the prefix, so the default folder is on C:.
# No menu entries or desktop files outside the prefix for the links.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
zdl_wine_prefix 8>&- || skip "no Wine prefix"
[ ! -e "$WINEPREFIX/dosdevices/d:" ] || skip "the Wine prefix has a D: drive"
[ -z "${ZDL_JOURNEY_USER:-}" ] || [ -d "$WINEPREFIX/drive_c/users/$ZDL_JOURNEY_USER" ] ||
  fail "the prefix $WINEPREFIX has no profile for $ZDL_JOURNEY_USER"
# Wine makes the desktop a link to the home folder; the desktop link is
# kept inside the prefix instead.
for d in "$WINEPREFIX"/drive_c/users/*/Desktop; do
  [ -L "$d" ] && rm -f "$d" && mkdir -p "$d"
done
# The install folder: the default on C: (no D:), or ZDL_JOURNEY_FOLDER (a
# folder on C: in UTF-8 such as "游戏/Zephyra") given to zdl.exe through a
# "DefaultDir=" line (GBK) in the settings file it starts with.
# shellcheck disable=SC1003 # a Windows folder ends in a backslash
install_win='C:\Program Files\Orvane\Zephyra\'
install="$WINEPREFIX/drive_c/Program Files/Orvane/Zephyra"
if [ -n "${ZDL_JOURNEY_FOLDER:-}" ]; then
  install_win="C:\\${ZDL_JOURNEY_FOLDER//\//\\}\\"
  install="$WINEPREFIX/drive_c/$ZDL_JOURNEY_FOLDER"
fi
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
rm -rf "$install" "${out:?}/bin" "$out"/*.png
mkdir -p "$out/bin"
cp "$exe" "$out/bin/zdl.exe"
# shellcheck disable=SC2034 # the journeys' settings file
ini=$out/bin/zphdownloader.ini
# What the settings file holds for the folder (GBK, as zdl.exe writes it).
ini_dir_line=$(printf 'DefaultDir=%s\r\n' "$install_win" | iconv -f UTF-8 -t GBK)
# Sharing with peers off: the core would otherwise announce itself on the
# machine's real network (the journeys' cores share nothing).
# shellcheck disable=SC2034 # the line as the journeys expect it written back
ini_share_line=$(printf 'P2PShare=0\r\n')
printf 'P2PShare=0\r\n' >"$ini"
[ -z "${ZDL_JOURNEY_FOLDER:-}" ] || printf '%s' "$ini_dir_line" >>"$ini"

zdl_xvfb_start 8>&- || skip "no Xvfb"
zdl_wine_session 5 8>&-
pid='' pid2=''
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$pid2" ] && kill "$pid2" 2>/dev/null
  unserve
  zdl_xvfb_stop
  ! declare -F journey_cleanup >/dev/null || journey_cleanup
}
trap cleanup EXIT
shot() { import -window root "$out/$1.png" && say "screenshot $out/$1.png"; }
visible() { xdotool search --onlyvisible --name "${1:-Zephyra}" 2>/dev/null; }
geometry() { # window: sets X Y WIDTH HEIGHT
  X='' Y='' WIDTH='' HEIGHT=''
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
  [ -n "$X" ] && [ -n "$WIDTH" ]
}
alive() { kill -0 "$pid" 2>/dev/null; }
not_alive() { ! alive; }
# Runs COMMAND every 0.2 s until it succeeds, for at most SECONDS (grown
# with the slowness): false when the time ran out.
wait_for() { # seconds command...
  local end=$((SECONDS + $1 * slow))
  shift
  until "$@"; do
    [ $SECONDS -lt "$end" ] || return 1
    sleep 0.2
  done
}
# A digest of the screen's pixels inside WxH+X+Y.
region() { import -window root -crop "$1" +repage rgb:- 2>/dev/null | md5sum | cut -d' ' -f1; }
region_seen=
region_same() { # geometry: the region as it was at the last look
  local now
  now=$(region "$1")
  [ "$now" = "$region_seen" ] && return 0
  region_seen=$now
  return 1
}
# Waits until the program has drawn what it had to draw inside WxH+X+Y:
# two looks in a row see the same pixels; at most SECONDS.
settled() { # geometry seconds
  region_seen=$(region "$1")
  wait_for "$2" region_same "$1"
}
# The 60 x 60 pixels around a point of the screen.
around() { echo "60x60+$(($1 - 30))+$(($2 - 30))"; }
window_area() { geometry "$1" && echo "${WIDTH}x$HEIGHT+$X+$Y"; }
# Moves the pointer (the program sees the move before anything that
# follows: X delivers events in order) and waits for the hover to be drawn.
point() { # x y
  xdotool mousemove --sync "$1" "$2"
  settled "$(around "$1" "$2")" 5
}
click() { # x y
  point "$1" "$2"
  xdotool click 1
}
key() { # x y key...: keys to the window under the pointer (no window manager: focus follows the pointer)
  local x=$1 y=$2
  shift 2
  point "$x" "$y"
  xdotool key "$@"
}
# A visible window named like $1 that is neither the main nor the licence
# window, within $2 seconds: sets W and its geometry.
found_window() { # name
  local w
  for w in $(visible "$1"); do
    [ "$w" = "$wid" ] || [ "$w" = "$lid" ] && continue
    geometry "$w" && W=$w && return 0
  done
  return 1
}
other_window() {
  # shellcheck disable=SC2034 # the window found, for the journeys
  W=''
  wait_for "$2" found_window "$1"
}
shown() { visible . | grep -qx "$1"; }
not_shown() { ! shown "$1"; }
gone() { # window seconds: true once the window is no longer shown
  wait_for "$2" not_shown "$1"
}
# The screen differs from screenshot SHOT inside WxH+X+Y in more than MIN
# pixels (the look is kept as now.png).
differs_from() { # shot geometry min
  import -window root "$out/now.png" 2>/dev/null || return 1
  local n
  n=$(changed "$1" now "$2")
  [ "${n:-0}" -gt "$3" ] 2>/dev/null
}
# Pixels that differ between two screenshots inside WxH+X+Y.
changed() { # a b geometry
  convert "$out/$1.png" -crop "$3" +repage "$out/crop-a.png" &&
    convert "$out/$2.png" -crop "$3" +repage "$out/crop-b.png" &&
    compare -metric AE "$out/crop-a.png" "$out/crop-b.png" null: 2>&1 | cut -d' ' -f1
}
# The core gives each file its full size first: the bytes written are
# what the disk stores. The core's own folder is left out: its resume state
# is saved through a temporary file, so counting it makes the figure rise
# and fall by the state's size with no byte of the client written.
stored() { du -s --block-size=1 --exclude=.zdlcore "$install" 2>/dev/null | cut -f1; }
connections() { # [port]: to one mirror, or to all
  local p f=''
  for p in ${1:-${ports[*]}}; do f="${f:+$f or }sport = :$p"; done
  ss -Htn state established "( $f )" 2>/dev/null | wc -l
}

# Starts zdl.exe from $out/bin and waits for its main window (868 x 513)
# with the licence window (488 x 510): sets pid, wid, lid, their places
# (mx, my, lx, ly) and takes the screenshot $1.
start_zdl() {
  (cd "$out/bin" && exec "$ZDL_WINE" "$out/bin/zdl.exe" >"$out/zdl.log" 2>&1 </dev/null 8>&-) &
  pid=$!
  wid='' lid=''
  wait_for 60 both_windows || fail "no main window with the licence window within $((60 * slow)) s"
  geometry "$lid" || fail "the licence window vanished"
  lx=$X ly=$Y
  geometry "$wid" || fail "the main window vanished"
  # shellcheck disable=SC2034 # the main window's place, for the journeys
  mx=$X my=$Y
  settled "$(window_area "$wid")" 20 || fail "the main window is still being drawn after $((20 * slow)) s"
  shot "$1"
}
both_windows() {
  local w
  for w in $(visible); do
    geometry "$w" || continue
    [ "${WIDTH}x$HEIGHT" = 868x513 ] && wid=$w
    [ "${WIDTH}x$HEIGHT" = 488x510 ] && lid=$w
  done
  [ -n "$wid" ] && [ -n "$lid" ] && return 0
  alive || fail "zdl.exe ended before its windows appeared"
  return 1
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
  wait_for "$3" not_alive
  shot "$4"
  alive && fail "zdl.exe still runs $(($3 * slow)) s after $5"
  wait "$pid"
  local rc=$?
  pid=
  [ "$rc" = 0 ] || fail "zdl.exe exit code $rc after $5"
}

# Waits up to SECONDS for the version record, written when the download
# completes (before "finish" shows); fails if zdl.exe ends first.
complete() {
  [ -f "$install/version.bin" ] && return 0
  alive || fail "zdl.exe ended during the download"
  return 1
}
wait_complete() { # seconds what-the-time-counts-from
  wait_for "$1" complete || fail "no version.bin within $(($1 * slow)) s of $2"
}

#!/usr/bin/env bash
# A whole install as a person does it, under Wine with the real download
# core: a generated sample client is served by nginx on the address built
# into zdl.exe (string 150), zdl.exe starts on its own Xvfb (no window
# manager) and real mouse clicks and keys drive it:
#   - the licence window stands above the main window; its text scrolls by
#     dragging the thumb and by the wheel (the text area's pixels change);
#     "accept";
#   - a second zdl.exe shows its box, no second main window, exit code -1;
#   - "set": the settings dialog limits the download to LIMIT KB/s;
#     "zphdownloader.ini" beside zdl.exe holds exactly the written lines;
#   - "install": two shots some seconds apart show different progress, and
#     the install folder grows no faster than the limit allows;
#   - "stop", answered Yes: "continue" shows and the folder stops growing;
#     "continue": it grows again;
#   - the server stopped for some seconds and started again: the download
#     goes on by itself; with several mirrors (zdl.exe built with their
#     list), mirror 1 stopped: the download goes on from the others at
#     once; mirror 1 started again and the others stopped: it goes on from
#     mirror 1;
#   - "set" during the download: the limit switched off (the file keeps
#     the typed value without its "Limit" line), the core restarts and the
#     download completes;
#   - "finish": the game ran in the install folder (the served "zpc.exe" is
#     a stand-in that records its working folder), the desktop and program
#     group links read back through IShellLink point at it, zdl.exe ended
#     with exit code 0;
#   - the install folder matches the served client byte for byte and
#     "version.bin" holds exactly "special_instal_20190627:23\r\n".
# ZDL_JOURNEY_LANG, ZDL_JOURNEY_FOLDER and ZDL_JOURNEY_USER (journey-common.sh)
# run it under another code page, into a folder with Chinese characters, as
# a user whose name GBK cannot hold; ZDL_JOURNEY_SIGN_KEY serves the release
# signed with that key (for a zdl.exe built with its public key).
#
#   journey.sh ZDL_EXE TOOLS_BUILD OUT_DIR [HELPERS_DIR]
#
# TOOLS_BUILD is a host build with zdl-sampleclient and zdl-mkdesc (the
# release tree). HELPERS_DIR holds zdl_standin_game.exe and zdl_readlink.exe
# (default: tests/ui_win beside ZDL_EXE). Screenshots (01-licence.png ...
# 16-finished.png, in order) and logs are left in OUT_DIR. The served
# address's port is shared with `make demo`: both hold
# /tmp/zdl-port-PORT.lock while serving. ZDL_JOURNEY_MIB sets the sample
# client's size (default 16). Every wait is bounded. Exit 0 on success, 1 on
# a failed check, 77 when something the run needs is missing or the port is
# taken.
set -uo pipefail
# shellcheck source-path=SCRIPTDIR source=journey-common.sh
. "$(dirname "$0")/journey-common.sh"
limit=512 # KB/s while the progress is watched

start_zdl 01-licence
# The licence window is owned by the main window and stays above it, with
# no window manager to restack them (xwininfo lists top first).
order=$(xwininfo -root -children 2>/dev/null | grep -oE '0x[0-9a-f]+' | while read -r h; do echo $((h)); done | grep -nxE "$wid|$lid" | cut -d: -f2 | head -1)
[ "$order" = "$lid" ] || fail "the licence window is below the main window"

# The licence text (59,55 on the licence page; the scroll bar on its right
# edge, the thumb at the top of its track) scrolls by the thumb and by the
# wheel.
# The thumb follows the pointer in the program's frames: each step waits
# for the text to be drawn where the thumb now is.
text="370x380+$((lx + 60))+$((ly + 60))"
point $((lx + 447)) $((ly + 95))
xdotool mousedown 1
for y in 150 200 250 300; do
  xdotool mousemove --sync $((lx + 447)) $((ly + y))
  settled "$text" 5
done
wait_for 10 differs_from 01-licence "$text" 2000
xdotool mouseup 1
settled "$text" 5
shot 02-licence-thumb
n=$(changed 01-licence 02-licence-thumb "$text")
[ "${n:-0}" -gt 2000 ] 2>/dev/null || fail "dragging the thumb did not scroll the licence text ($n pixels changed)"
point $((lx + 250)) $((ly + 250))
xdotool click --repeat 3 5
wait_for 10 differs_from 02-licence-thumb "$text" 2000
settled "$text" 5
shot 03-licence-wheel
n=$(changed 02-licence-thumb 03-licence-wheel "$text")
[ "${n:-0}" -gt 2000 ] 2>/dev/null || fail "the wheel did not scroll the licence text ($n pixels changed)"

# "accept".
accept_licence
settled "$(window_area "$wid")" 10
shot 04-accepted

# A second zdl.exe: its box (owner none, the program's title), no second
# main window, exit code -1. The box's text is seen in Wine's dialog trace.
(cd "$out/bin" && WINEDEBUG=trace+win exec "$ZDL_WINE" "$out/bin/zdl.exe" >"$out/zdl-second.log" 2>&1 </dev/null 8>&-) &
pid2=$!
other_window Zephyra 30 || fail "no box from the second zdl.exe within 30 s"
settled "$(window_area "$W")" 10
shot 05-second-instance
for w in $(visible); do
  [ "$w" != "$wid" ] && geometry "$w" && [ "${WIDTH}x$HEIGHT" = 868x513 ] && fail "a second main window appeared"
done
key $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) Return
second_ended() { ! kill -0 "$pid2" 2>/dev/null; }
wait_for 20 second_ended || fail "the second zdl.exe still runs $((20 * slow)) s after its box"
wait "$pid2"
rc2=$?
pid2=
[ "$rc2" = 255 ] || fail "the second zdl.exe ended with $rc2, not -1"
# "Zephyra免费版下载器已加载" in Wine's trace of the box's text (UTF-16).
grep -qF 'set_window_text L"Zephyra\514d\8d39\7248\4e0b\8f7d\5668\5df2\52a0\8f7d"' "$out/zdl-second.log" || fail "the second zdl.exe's box does not say 已加载 (see $out/zdl-second.log)"
alive || fail "the first zdl.exe ended beside the second"

# "set" (675,85 on the page): the settings dialog (template 133). Its first
# stop is the download check box, the next the limit edit (Tab selects its
# text), Return is OK.
settings() { # screenshot keys...
  local name=$1
  shift
  click $((mx + 688)) $((my + 97))
  other_window '游戏设置' 20 || fail "no settings dialog within 20 s"
  local d=$W dx=$((X + WIDTH / 2)) dy=$((Y + HEIGHT / 2))
  key $dx $dy "$@"
  settled "$(window_area "$d")" 10
  shot "$name"
  key $dx $dy Return
  gone "$d" 20 || fail "the settings dialog stays after OK"
}
# shellcheck disable=SC2046 # one key per digit
settings 06-settings-limit space Tab $(grep -o . <<<"$limit")
expect=$(printf 'LimitDownloadSpd=1\r\nMaxDownloadSpd=%s\r\n%s\n%s\n' "$limit" "$ini_share_line" "$ini_dir_line")
[ "$(cat "$ini" 2>/dev/null)" = "$expect" ] || fail "zphdownloader.ini after the limit: $(od -c "$ini" 2>&1 | head -8)"

# "install" (680,270 on the page; "stop", "continue" and "finish" take its
# place). The progress area: percent digits, status and info lines, bar.
# Two looks: once a piece is stored, and once the next MiB is stored and the
# progress drawn has changed.
progress="680x50+$((mx + 100))+$((my + 355))"
button="180x60+$((mx + 670))+$((my + 260))"
click $((mx + 720)) $((my + 285))
started=$(date +%s)
stored_over() { [ "$(stored)" -gt "$1" ] 2>/dev/null; }
wait_for 60 stored_over 0 || fail "nothing stored within $((60 * slow)) s of install"
shot 07-downloading
b1=$(stored)
grown() { stored_over $((b1 + 1048576)) && differs_from 07-downloading "$progress" 50; }
wait_for 30 grown || fail "no further MiB stored with the progress redrawn within $((30 * slow)) s"
shot 08-downloading
b2=$(stored)
elapsed=$(($(date +%s) - started))
alive || fail "zdl.exe ended during the download"
[ -f "$install/version.bin" ] && fail "the download completed within $elapsed s under a limit of $limit KB/s"
n=$(changed 07-downloading 08-downloading "$progress")
[ "${n:-0}" -gt 50 ] 2>/dev/null || fail "the progress shown did not change while downloading ($n pixels changed)"
say "stored ${b1:-0} then ${b2:-0} bytes in $elapsed s at $limit KB/s"
[ "${b2:-0}" -gt "${b1:-0}" ] || fail "the install folder does not grow while downloading"
[ "${b2:-0}" -le $((2 * limit * 1024 * elapsed + 4 * 1048576)) ] ||
  fail "$b2 bytes stored in $elapsed s: faster than $limit KB/s"

# "stop": asked (Yes/No; Y is Yes), then paused: "continue" shows,
# the core lets go of the server and nothing more is written.
click $((mx + 720)) $((my + 285))
other_window Zephyra 20 || fail "no question after stop within 20 s"
box=$W
shot 09-stop-asked
key $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) y
gone "$box" 20 || fail "the stop question stays"
# (The core may finish a request under way before it ends.)
no_connections() { [ "$(connections)" = 0 ]; }
wait_for 30 no_connections || fail "the core still downloads $((30 * slow)) s after stop"
wait_for 10 differs_from 08-downloading "$button" 200
settled "$(window_area "$wid")" 10
shot 10-paused
# Nothing may be written while paused: the folder is watched for a while.
p1=$(stored)
sleep 4
p2=$(stored)
[ "$p1" = "$p2" ] || fail "the install folder grows while paused ($p1 -> $p2 bytes)"
n=$(changed 08-downloading 10-paused "$button")
[ "${n:-0}" -gt 200 ] 2>/dev/null || fail "the button did not change after stop ($n pixels changed)"

# "continue": downloading again (the core writes whole pieces, so the
# folder grows in steps).
click $((mx + 720)) $((my + 285))
wait_for 30 stored_over "$p2"
c=$(stored)
shot 11-continued
[ "${c:-0}" -gt "$p2" ] || fail "the download did not continue within $((30 * slow)) s ($p2 -> $c bytes)"
[ -f "$install/version.bin" ] && fail "the download completed early"

if [ ${#ports[@]} = 1 ]; then
  # The server goes away for a while (the core's connections fail and it
  # retries) and comes back: the core reconnects by itself and the download
  # goes on.
  unserve
  wait_for 10 no_connections || fail "connections to the stopped server stay"
  sleep 8 # the time away: the scenario, not a wait
  shot 12-server-down
  d1=$(stored)
  alive || fail "zdl.exe ended while the server was away"
  serve || fail "nginx could not serve again on 127.0.0.1:$port"
  wait_for 60 stored_over "$d1"
  d2=$(stored)
  shot 13-server-back
  [ "${d2:-0}" -gt "$d1" ] || fail "the download did not go on within $((60 * slow)) s of the server's return"
  say "the download went on after the server's return"
else
  # Several mirrors: mirror 1 goes away and the download goes on from the
  # others without waiting for it; then mirror 1 comes back and the others
  # go away: the core takes mirror 1 up again by itself and goes on.
  no_connections_to() { [ "$(connections "$1")" = 0 ]; }
  unserve 1
  wait_for 10 no_connections_to "${ports[0]}" || fail "connections to the stopped mirror 1 stay"
  d1=$(stored)
  wait_for 30 stored_over $((d1 + 1048576)) || fail "the download did not go on from the other mirrors within $((30 * slow)) s of mirror 1's end"
  shot 12-server-down
  say "mirror 1 away: the download went on from the others ($d1 -> $(stored) bytes)"
  others=$(seq 2 ${#ports[@]})
  # shellcheck disable=SC2086 # one mirror a word
  serve 1 || fail "nginx could not serve again on 127.0.0.1:${ports[0]}"
  # shellcheck disable=SC2086 # one mirror a word
  unserve $others
  d2=$(stored)
  alive || fail "zdl.exe ended while mirrors were away"
  wait_for 60 stored_over $((d2 + 1048576))
  d3=$(stored)
  shot 13-server-back
  [ "${d3:-0}" -gt $((d2 + 1048576)) ] || fail "the download did not go on from mirror 1 within $((60 * slow)) s of its return ($d2 -> $d3 bytes)"
  say "mirror 1 back, the others away: the download went on from mirror 1 ($d2 -> $d3 bytes)"
  # shellcheck disable=SC2086 # one mirror a word
  serve $others || fail "nginx could not serve again on the other mirrors"
fi

# "set" during the download: the limit off. The core restarts without it
# and the rest comes at full speed.
settings 14-settings-nolimit space
expect=$(printf 'MaxDownloadSpd=%s\r\n%s\n%s\n' $limit "$ini_share_line" "$ini_dir_line")
[ "$(cat "$ini" 2>/dev/null)" = "$expect" ] || fail "zphdownloader.ini after the limit was switched off: $(od -c "$ini" 2>&1 | head -8)"

# The download completes.
wait_complete 120 "switching the limit off"
say "complete $(($(date +%s) - started)) s after install"
# "finish" takes the button's place.
wait_for 20 differs_from 13-server-back "$button" 200 || fail "the button did not change on completion"
settled "$(window_area "$wid")" 10
shot 15-complete

# "finish": shortcuts, the game started and the program ends.
click_to_end $((mx + 720)) $((my + 285)) 30 16-finished finish

# The game: started by "open" with the install folder as working folder.
game_ran() { [ -f "$install/zpc-started.txt" ]; }
wait_for 20 game_ran || fail "the game (zpc.exe) did not run"
say "game: $(tr -d '\r' <"$install/zpc-started.txt" | tr '\n' ' ')"
grep -qixF "cwd=$install_win"$'\r' "$install/zpc-started.txt" || grep -qixF "cwd=${install_win%\\}"$'\r' "$install/zpc-started.txt" ||
  fail "the game's working folder is not the install folder"
rm -f "$install/zpc-started.txt"

# The links: on the desktop and in the program group, read back through
# IShellLink: the game, the install folder, the description.
winpaths=()
while IFS= read -r l; do
  rel=${l#"$WINEPREFIX/drive_c/"}
  winpaths+=("C:\\${rel//\//\\}")
done < <(link_files)
[ ${#winpaths[@]} -gt 0 ] || fail "no link made"
"$ZDL_WINE" "$readlink" "${winpaths[@]}" >"$out/links.txt" 2>&1 </dev/null 8>&- || fail "a link could not be read (see $out/links.txt)"
tr -d '\r' <"$out/links.txt" | sed 's/^/journey: link /'
for where in "\\Desktop\\" "\\Programs\\Zephyra免费版\\"; do
  line=$(tr -d '\r' <"$out/links.txt" | grep -iF "$where" | head -1)
  [ -n "$line" ] || fail "no link in $where"
  IFS='|' read -r _ target dir description <<<"$line"
  [ "${target,,}" = "${install_win,,}zpc.exe" ] || fail "a link's target is $target"
  [ "${dir,,}" = "${install_win,,}" ] || fail "a link's working folder is $dir"
  [ "$description" = 'Zephyra免费版启动程序' ] || fail "a link's description is $description"
done

# Another user: the core was written to and started from that user's own
# temporary folder, and the links are in that user's profile.
if [ -n "${ZDL_JOURNEY_USER:-}" ]; then
  core=$(find "$WINEPREFIX/drive_c/users/$ZDL_JOURNEY_USER" -name 'Orvane下载器-*.exe' 2>/dev/null | head -1)
  [ -n "$core" ] || fail "no core program in the temporary folder of $ZDL_JOURNEY_USER"
  say "core written to ${core#"$WINEPREFIX/drive_c/"}"
  for l in "${winpaths[@]}"; do
    case $l in
    *"\\users\\$ZDL_JOURNEY_USER\\"*) ;;
    *) fail "a link outside the profile of $ZDL_JOURNEY_USER: $l" ;;
    esac
  done
fi

same_as_served
say "PASS: $(du -sh "$install" | cut -f1) installed to $install_win under $LANG, exit code 0"

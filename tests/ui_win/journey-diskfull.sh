#!/usr/bin/env bash
# The disk fills up during a download, under Wine with the real download
# core and real clicks (as tests/ui_win/journey.sh): the install folder is
# on drive E:, a small tmpfs, named by "DefaultDir=" in the settings file.
# Checked:
#   - "install": the disk fills; the box "磁盘空间不足，请清理磁盘" (title
#     "警告") appears, once while the disk stays full, and the status line
#     keeps the text;
#   - the disk grows (the tmpfs remounted larger): the download completes,
#     byte for byte with the version record;
#   - "exit" after completion closes without asking, exit code 0.
#
#   journey-diskfull.sh ZDL_EXE TOOLS_BUILD OUT_DIR [HELPERS_DIR]
#
# Mounting the tmpfs needs root; without it the run is skipped (77).
# Screenshots 01-licence.png ... 05-exit.png in OUT_DIR.
set -uo pipefail
# shellcheck source-path=SCRIPTDIR source=journey-common.sh
. "$(dirname "$0")/journey-common.sh"

drive=$out/drive-e
mkdir -p "$drive"
mountpoint -q "$drive" && umount "$drive"
[ ! -e "$WINEPREFIX/dosdevices/e:" ] || skip "the Wine prefix has an E: drive"
# Half the client: the room runs out half way.
mount -t tmpfs -o size=$((mib * 512))k tmpfs "$drive" 2>/dev/null || skip "cannot mount a small tmpfs (needs root)"
ln -s "$drive" "$WINEPREFIX/dosdevices/e:"
journey_cleanup() {
  rm -f "$WINEPREFIX/dosdevices/e:"
  umount "$drive" 2>/dev/null
}
install=$drive/Zephyra
printf 'P2PShare=0\r\nDefaultDir=E:\\Zephyra\\\r\n' >"$ini"

start_zdl 01-licence
accept_licence

# "install" (680,270 on the page): the disk fills.
click $((mx + 720)) $((my + 285))
other_window '警告' 120 || fail "no disk-full box within 120 s of install"
box=$W
settled "$(window_area "$box")" 10
shot 02-disk-full
say "the disk is full at $(stored) bytes"
key $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) Return
gone "$box" 20 || fail "the disk-full box stays"
# Still full: no second box (watched for a while).
other_window '警告' 10 && fail "a second disk-full box while the disk stays full"
shot 03-still-full
alive || fail "zdl.exe ended on a full disk"
[ -f "$install/version.bin" ] && fail "the download completed on a full disk"

# Room again: the download completes.
mount -o remount,size=$((mib * 4))m "$drive" || fail "could not grow the tmpfs"
wait_complete 120 "freeing room"
say "complete after the room came back"
# "finish" takes the button's place.
wait_for 20 differs_from 03-still-full "180x60+$((mx + 670))+$((my + 260))" 200 ||
  fail "the button did not change on completion"
settled "$(window_area "$wid")" 10
shot 04-complete
same_as_served

# "exit" (735,87 on the page): after completion it asks nothing.
click_to_end $((mx + 747)) $((my + 97)) 20 05-exit exit
say "PASS: the disk-full box once, then complete on E: after room came back, exit code 0"

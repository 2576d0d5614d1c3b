#!/usr/bin/env bash
# A captioned storyboard of the Wine journey's screenshots (01-*.png ...
# 16-*.png in the journey's output folder), each trimmed to its windows.
#
#   scripts/storyboard.sh JOURNEY_OUT_DIR SHEET [TITLE]   (SHEET: .png, or .jpg for a small one)
# TITLE goes above the shots. ZDL_STORYBOARD_MIRRORS=1 captions the
# server steps as the journey runs them with several mirrors.
set -euo pipefail
out=$1 sheet=$2 title=${3:-}
captions=(
  "1. start: the licence window above the page"
  "2. licence text scrolled by its thumb"
  "3. ... and by the wheel"
  "4. accepted"
  "5. a second zdl.exe: already loaded"
  "6. settings: a download limit"
  "7. install: downloading under the limit"
  "8. later: progress moves"
  "9. stop: asked"
  "10. paused: continue"
  "11. continued"
  "12. the server stopped"
  "13. the server back: downloading"
  "14. settings: limit off, core restarted"
  "15. complete: finish"
  "16. finished: game started, zdl.exe ended"
)
if [ -n "${ZDL_STORYBOARD_MIRRORS:-}" ]; then
  captions[11]="12. mirror 1 stopped: mirror 2 goes on"
  captions[12]="13. mirror 1 back, mirror 2 stopped: goes on"
fi
args=()
for i in "${!captions[@]}"; do
  shots=("$out/$(printf %02d $((i + 1)))"-*.png)
  f=${shots[0]}
  [ -f "$f" ] || continue
  # The windows without the empty screen around them (an empty screen
  # stays whole).
  b=$out/board-$i.png
  convert "$f" -trim +repage "$b" 2>/dev/null || cp "$f" "$b"
  [ "$(identify -format %w "$b" 2>/dev/null || echo 0)" -ge 100 ] || cp "$f" "$b"
  args+=(-label "${captions[$i]}" "$b")
done
font=$(fc-match -f '%{file}' 'DejaVu Sans' 2>/dev/null || true)
montage ${font:+-font "$font"} ${title:+-title "$title"} "${args[@]}" -tile 4x -geometry 480x290+6+6 -pointsize 18 -background '#202020' -fill white "$sheet"
echo "storyboard: $sheet"

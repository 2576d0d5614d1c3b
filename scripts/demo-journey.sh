#!/usr/bin/env bash
# The demo: the Wine journey (tests/ui_win/journey.sh: zdl.exe installs a
# served sample client through real clicks) and a captioned storyboard of
# its screenshots. With a display of a person's ($DISPLAY set, ZDL_DEMO_AUTO
# unset) zdl.exe opens there instead, to be clicked through by hand
# (scripts/demo-window.sh).
#
#   scripts/demo-journey.sh        (make demo builds build/release and build/win64 first)
# Environment: ZDL_DEMO_MIB (sample client size, default 64), ZDL_DEMO_AUTO
# (set: the automatic journey even with a display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${DISPLAY:-}" ] && [ -z "${ZDL_DEMO_AUTO:-}" ]; then
  exec "$root/scripts/demo-window.sh"
fi
out=$root/build/demo-journey
ZDL_JOURNEY_MIB=${ZDL_DEMO_MIB:-64} "$root/tests/ui_win/journey.sh" \
  "$root/build/win64/zdl.exe" "$root/build/release" "$out"
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
args=()
for i in "${!captions[@]}"; do
  f=$(ls "$out/$(printf %02d $((i + 1)))"-*.png 2>/dev/null | head -1)
  [ -n "$f" ] || continue
  # The windows without the empty screen around them (an empty screen
  # stays whole).
  b=$out/board-$i.png
  convert "$f" -trim +repage "$b" 2>/dev/null || cp "$f" "$b"
  [ "$(identify -format %w "$b" 2>/dev/null || echo 0)" -ge 100 ] || cp "$f" "$b"
  args+=(-label "${captions[$i]}" "$b")
done
sheet=$out/storyboard.png
font=$(fc-match -f '%{file}' 'DejaVu Sans' 2>/dev/null || true)
montage ${font:+-font "$font"} "${args[@]}" -tile 4x -geometry 480x290+6+6 -pointsize 18 -background '#202020' -fill white "$sheet"
echo "demo: storyboard $sheet"

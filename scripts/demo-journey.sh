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
captions=("1. start: the licence window" "2. accepted" "3. install pressed" "4. complete: finish" "5. finished: zdl.exe ended")
args=()
for i in 1 2 3 4 5; do
  f=$(ls "$out/$i"-*.png 2>/dev/null | head -1)
  [ -n "$f" ] && args+=(-label "${captions[$((i - 1))]}" "$f")
done
sheet=$out/storyboard.png
font=$(fc-match -f '%{file}' 'DejaVu Sans' 2>/dev/null || true)
montage ${font:+-font "$font"} "${args[@]}" -tile 3x -geometry 640x400+8+8 -pointsize 18 -background '#202020' -fill white "$sheet"
echo "demo: storyboard $sheet"

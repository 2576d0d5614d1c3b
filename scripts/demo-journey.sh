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
"$root/scripts/storyboard.sh" "$out" "$out/storyboard.png"

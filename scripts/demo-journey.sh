#!/usr/bin/env bash
# The demo: the Wine journey (tests/ui_win/journey.sh: zdl.exe installs a
# served sample client through real clicks) and a captioned storyboard of
# its screenshots, as a publisher ships it: zdl.exe is the demo tree's
# (build/demo-win64, built with the demo key's public half and two mirrors
# on this machine), the sample release is signed with the demo key and
# served by one nginx per mirror. At its end it says where the key pair is
# and how many bytes each mirror served. With a display of a person's
# ($DISPLAY set, ZDL_DEMO_AUTO unset) zdl.exe opens there instead, to be
# clicked through by hand (scripts/demo-window.sh).
#
#   ZDL_DEMO_KEY=SECRET_KEY scripts/demo-journey.sh
#        (make demo makes the key pair in build/demo-keys and builds
#        build/release and build/demo-win64 first)
# Environment: ZDL_DEMO_MIB (sample client size, default 64), ZDL_DEMO_AUTO
# (set: the automatic journey even with a display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${DISPLAY:-}" ] && [ -z "${ZDL_DEMO_AUTO:-}" ]; then
  exec "$root/scripts/demo-window.sh"
fi
key=${ZDL_DEMO_KEY:?the demo key (make demo makes it)}
tree=$root/build/demo-win64
out=$root/build/demo-journey
. "$root/scripts/sample-site.sh"
zdl_sample_address "$tree"
ZDL_JOURNEY_MIB=${ZDL_DEMO_MIB:-64} ZDL_JOURNEY_SIGN_KEY=$key "$root/tests/ui_win/journey.sh" \
  "$tree/zdl.exe" "$root/build/release" "$out"
read -ra ports <<<"$SAMPLE_PORTS"
ZDL_STORYBOARD_MIRRORS=1 "$root/scripts/storyboard.sh" "$out" "$out/storyboard.png" \
  "A release signed with the demo key, served by ${#ports[@]} nginx mirrors (127.0.0.1:${SAMPLE_PORTS// /, :})"
echo "demo: the key pair: ${key%.key}.pub (built into zdl.exe) and $key (signed the release)"
echo "demo: the signature: $(find "$out/www" -name '*.minisig' | head -1)"
# Bytes each mirror sent (the body sizes in nginx's access log, combined
# format: the 10th field), and its requests.
for i in "${!ports[@]}"; do
  log=$out/nginx/access.log
  [ "$i" = 0 ] || log=$out/nginx-$((i + 1))/access.log
  awk -v m="$((i + 1))" -v p="${ports[i]}" '{ b += $10; n++ }
    END { printf "demo: mirror %d (127.0.0.1:%s) served %d bytes in %d requests\n", m, p, b, n }' "$log"
done

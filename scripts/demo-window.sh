#!/usr/bin/env bash
# The demo for a person at a display: a sample client served on the address
# built into zdl.exe, and zdl.exe (x86_64, under Wine) on $DISPLAY to be
# clicked through by hand: the licence, the folder, install, settings,
# stop and continue, finish. Ends when zdl.exe ends; the server stops then.
# With ZDL_DEMO_KEY (make demo) zdl.exe is the demo tree's (build/demo-win64,
# the demo key built in, two mirrors): the release is signed with the key
# and each mirror is an nginx of its own.
#
#   scripts/demo-window.sh     (make demo runs it when $DISPLAY is set)
# Environment: ZDL_DEMO_MIB (sample client size, default 256).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
. "$root/scripts/sample-site.sh"
tree=$root/build/win64
[ -z "${ZDL_DEMO_KEY:-}" ] || tree=$root/build/demo-win64
exe=$tree/zdl.exe
out=$root/build/demo-window
[ -f "$exe" ] || { echo "demo: $exe is not built (make win64)" >&2; exit 1; }
[ -x "$ZDL_WINE" ] || { echo "demo: no Wine (make deps)" >&2; exit 1; }
zdl_sample_address "$tree" || exit 1

# The port is shared with the journey and the headless demo.
rc=0
zdl_sample_port_lock 600 || rc=$?
[ $rc != 1 ] || { echo "demo: 127.0.0.1:$SAMPLE_PORT stays locked by another run" >&2; exit 1; }
[ $rc != 2 ] || { echo "demo: 127.0.0.1:$SAMPLE_PORT is in use by another program" >&2; exit 1; }
mib=${ZDL_DEMO_MIB:-256}
echo "demo: a $mib MiB sample client for $SAMPLE_URL"
zdl_sample_site "$root/build/release" "$out/www" "$mib" || exit 1
# The news banner and the age notice of the default web host.
cp -r "$root/res/demo-web/." "$out/www/"
[ -z "${ZDL_DEMO_KEY:-}" ] || zdl_sample_sign "$ZDL_DEMO_KEY" || exit 1
read -ra ports <<<"$SAMPLE_PORTS"
stop_mirrors() {
  local p
  for p in "${ports[@]}"; do "$root/scripts/content-server.sh" stop "$out/nginx-$p" >/dev/null 2>&1; done
}
trap stop_mirrors EXIT
for p in "${ports[@]}"; do
  ZDL_SERVER_PORT=$p ZDL_SERVER_LIFETIME=7200 "$root/scripts/content-server.sh" start "$out/www" "$out/nginx-$p" >/dev/null 8>&- ||
    { echo "demo: nginx could not serve on 127.0.0.1:$p" >&2; exit 1; }
done

zdl_wine_prefix 8>&- || exit 1
mkdir -p "$out/bin"
cp "$exe" "$out/bin/zdl.exe"
echo "demo: zdl.exe is on your display $DISPLAY (Wine prefix $WINEPREFIX)."
echo "demo: the default install folder C:\\Program Files\\Orvane\\Zephyra is $WINEPREFIX/drive_c/Program Files/Orvane/Zephyra"
code=0
(cd "$out/bin" && exec "$ZDL_WINE" "$out/bin/zdl.exe" 8>&-) || code=$?
echo "demo: zdl.exe ended with exit code $code"

#!/usr/bin/env bash
# The main job without a window: serve a generated sample game client from
# nginx on the address built into the program (string 150, by default
# http://127.0.0.1:8089/zphdownload_setup.exe.data) and run zdl-headless,
# which carries the download core inside itself, into a fresh folder.
#
#   scripts/demo.sh            (make demo builds build/release first)
# Environment: ZDL_DEMO_BUILD (build tree, default build/release),
# ZDL_DEMO_MIB (sample client size, default 128), ZDL_DEMO_DOWN (KB/s limit,
# default none), ZDL_DEMO_WORK (work folder, default <build>/demo).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZDL_DEMO_BUILD:-$root/build/release}
work=${ZDL_DEMO_WORK:-$build/demo}
mib=${ZDL_DEMO_MIB:-128}
headless=$build/app/headless/zdl-headless
sampleclient=$build/tools/sampleclient/zdl-sampleclient
mkdesc=$build/tools/mkdesc/zdl-mkdesc
for p in "$headless" "$sampleclient" "$mkdesc"; do
  [ -x "$p" ] || { echo "demo: $p is not built (run make release)" >&2; exit 1; }
done

# The address the program carries; the demo serves exactly that.
. "$root/scripts/sample-site.sh"
zdl_sample_address "$build" || { echo "demo: serving nothing" >&2; exit 1; }
url=$SAMPLE_URL port=$SAMPLE_PORT
hostport=${url#http://}
hostport=${hostport%%/*}
host=$SAMPLE_HOST

# The port is shared with the Wine journey (tests/ui_win/journey.sh).
rc=0
zdl_sample_port_lock 600 || rc=$?
[ $rc != 1 ] || { echo "demo: 127.0.0.1:$port stays locked by another run" >&2; exit 1; }
[ $rc != 2 ] || { echo "demo: 127.0.0.1:$port is in use by another program" >&2; exit 1; }

mkdir -p "$work"
www=$work/www
[ -f "$www/.made-$mib" ] || echo "demo: generating a $mib MiB sample client"
zdl_sample_site "$build" "$www" "$mib" || exit 1

# The news banner and the age notice (string 152): the demo's own pages
# when the program's web host is this server.
webhost=$(sed -n 's/^ZDL_WEB_HOST:STRING=//p' "$build/CMakeCache.txt")
webhost=${webhost:-http://127.0.0.1:8089}
if [ "$webhost" = "http://$hostport" ] || { [ "$port" = 80 ] && [ "$webhost" = "http://$host" ]; }; then
  cp -r "$root/res/demo-web/." "$www/"
  echo "demo: serving the news and age notice pages on $webhost"
fi

# nginx from the content server script, on the program's port; it would
# stop by itself after two hours should this script be killed.
srv=$work/nginx
stop_server() { "$root/scripts/content-server.sh" stop "$srv" >/dev/null 2>&1 || true; }
trap stop_server EXIT
if ! ZDL_SERVER_PORT=$port ZDL_SERVER_LIFETIME=7200 "$root/scripts/content-server.sh" start "$www" "$srv" \
  >/dev/null 2>"$work/nginx-start.log" 8>&-; then
  echo "demo: nginx could not listen on 127.0.0.1:$port:" >&2
  cat "$work/nginx-start.log" >&2
  exit 1
fi

install=$work/install-$(date +%Y%m%d-%H%M%S)
echo "demo: serving $url; downloading into $install"
# --no-share: the demo keeps its core off the local network.
args=("$install" --no-share)
[ -n "${ZDL_DEMO_DOWN:-}" ] && args+=(--down "$ZDL_DEMO_DOWN")
set +e
"$headless" "${args[@]}"
code=$?
set -e
if [ $code -ne 0 ]; then
  echo "demo: zdl-headless ended with code $code" >&2
  exit $code
fi
if diff -r -q -x .zdlcore "$SAMPLE_FILES" "$install" >/dev/null; then
  echo "demo: the install folder matches the served client ($(du -sh "$install" | cut -f1))"
else
  echo "demo: the install folder differs from the served client" >&2
  exit 1
fi

# The skinned window: zdl.exe under Wine for a few seconds, captured: the
# download page with the licence window (make demo clicks through it).
exe=$root/build/win64/zdl.exe
shot=$work/zdl-window.png
if [ -f "$exe" ]; then
  echo "demo: starting build/win64/zdl.exe under Wine for 10 seconds (screenshot: $shot)"
  "$root/scripts/wine-run.sh" --timeout 10 --shot "$shot" --shot-after 7 "$exe" >/dev/null 2>&1 || true
  [ -f "$shot" ] && echo "demo: window captured to $shot"
fi
sheet=$build/skin-contact-sheet.png
[ -f "$sheet" ] && echo "demo: every image and sprite cell of the skin: $sheet"
echo "demo: done. What ran: the real download core and headless downloader (above) and the skinned main window;"
echo "demo: make demo installs through zdl.exe's own window with real clicks."

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

srv=$work/nginx
mkdir -p "$srv/tmp"
cat > "$srv/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $srv/nginx.pid;
error_log $srv/error.log warn;
events { worker_connections 256; }
http {
  access_log $srv/access.log;
  client_body_temp_path $srv/tmp;
  proxy_temp_path $srv/tmp;
  fastcgi_temp_path $srv/tmp;
  uwsgi_temp_path $srv/tmp;
  scgi_temp_path $srv/tmp;
  sendfile on;
  keepalive_timeout 60s;
  default_type application/octet-stream;
  types { text/html html; }
  charset utf-8;
  server {
    listen 127.0.0.1:$port;
    root $www;
    location / { }
  }
}
CONF
nginx=$(command -v nginx || echo /usr/sbin/nginx)
stop_server() {
  if [ -s "$srv/nginx.pid" ]; then
    kill "$(cat "$srv/nginx.pid")" 2>/dev/null || true
    rm -f "$srv/nginx.pid"
  fi
}
trap stop_server EXIT
if ! "$nginx" -c "$srv/nginx.conf" -e "$srv/error.log" 2>"$srv/start.log"; then
  echo "demo: nginx could not listen on 127.0.0.1:$port:" >&2
  cat "$srv/start.log" >&2
  exit 1
fi
for _ in $(seq 50); do [ -s "$srv/nginx.pid" ] && break; sleep 0.1; done

install=$work/install-$(date +%Y%m%d-%H%M%S)
echo "demo: serving $url; downloading into $install"
args=("$install")
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

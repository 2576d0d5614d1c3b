#!/bin/sh
# A throw-away nginx on 127.0.0.1 serving a folder, for the download core's
# tests and benchmarks.
#   scripts/content-server.sh start <web root> <work dir> [<cert> <key>]
#                                                  prints the port; HTTPS
#                                                  with a certificate and key
# (a free port; ZDL_SERVER_PORT asks for that port instead; ZDL_SERVER_CONF
# adds its text to the server block, e.g. a location without Range;
# ZDL_SERVER_HTTP_CONF to the http block, e.g. a limit_conn_zone)
#   scripts/content-server.sh stop <work dir>
# The work dir holds the generated config, pid file and logs. The server
# stops itself after ZDL_SERVER_LIFETIME seconds (default 900) if nobody
# stops it, so a crashed test never leaves it behind.
set -eu
cmd=${1:-}
# A pid read earlier may since have been given to another program (pid
# numbers wrap within a long test run): the server and the watchdog are
# signalled only while their pid still runs the program they ran.
process_is() {  # PID NAME
  [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "$2" ]
}
kill_nginx() {
  process_is "$1" nginx && kill "$1" 2>/dev/null
}
case "$cmd" in
start)
  root=$(cd "$2" && pwd); work=$3
  tls=""
  if [ $# -ge 5 ]; then
    tls="ssl; ssl_certificate $(cd "$(dirname "$4")" && pwd)/$(basename "$4"); ssl_certificate_key $(cd "$(dirname "$5")" && pwd)/$(basename "$5")"
  fi
  mkdir -p "$work"; work=$(cd "$work" && pwd)
  nginx=$(command -v nginx || echo /usr/sbin/nginx)
  port=${ZDL_SERVER_PORT:-}
  [ -n "$port" ] || port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$work/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections 256; }
http {
  access_log $work/access.log;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  keepalive_timeout 60s;
  default_type application/octet-stream;
  # Pages (the demo's news and age notice) as UTF-8 HTML.
  types { text/html html; }
  charset utf-8;
  ${ZDL_SERVER_HTTP_CONF:-}
  server {
    listen 127.0.0.1:$port $tls;
    root $root;
    location / { }
    ${ZDL_SERVER_CONF:-}
  }
}
CONF
  mkdir -p "$work/tmp"
  "$nginx" -c "$work/nginx.conf" -e "$work/error.log" >/dev/null 2>&1 || "$nginx" -c "$work/nginx.conf"
  i=0
  while [ ! -s "$work/nginx.pid" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
  pid=$(cat "$work/nginx.pid")
  # Watchdog: stop the server after its lifetime.
  ( sleep "${ZDL_SERVER_LIFETIME:-900}"; kill_nginx "$pid" ) >/dev/null 2>&1 &
  echo $! > "$work/watchdog.pid"
  echo "$port"
  ;;
stop)
  work=$2
  if [ -f "$work/nginx.pid" ]; then
    pid=$(cat "$work/nginx.pid")
    kill_nginx "$pid" || true
    i=0
    while process_is "$pid" nginx && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
    rm -f "$work/nginx.pid"
  fi
  if [ -f "$work/watchdog.pid" ]; then
    # The watchdog is a copy of this script.
    w=$(cat "$work/watchdog.pid")
    if process_is "$w" "$(cat /proc/$$/comm)"; then kill "$w" 2>/dev/null || true; fi
    rm -f "$work/watchdog.pid"
  fi
  ;;
*)
  echo "usage: $0 start <web root> <work dir> | stop <work dir>" >&2; exit 2 ;;
esac

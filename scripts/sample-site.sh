# shellcheck shell=bash
# Sourced by the scripts that serve a generated sample game client on the
# address built into a program (string 150 of its build tree):
#   zdl_sample_address BUILD_TREE   sets SAMPLE_URL, SAMPLE_HOST, SAMPLE_PORT,
#                                   SAMPLE_NAME (the description file's name)
#                                   and SAMPLE_PREFIX (the folder above it)
#   zdl_sample_port_lock SECONDS    takes the served port's lock on fd 8 (the
#                                   journeys, the demos and the benchmarks
#                                   share the port), waiting up to SECONDS:
#                                   returns 1 if it stays locked, 2 if another
#                                   program listens there
#   zdl_sample_site TOOLS WWW MIB [GAME]
#                                   makes the client of MIB MiB under WWW, with
#                                   its description, unless WWW already holds
#                                   one of that size; its names are UTF-8 on
#                                   the server, as a publisher's Linux machine
#                                   publishes them (TOOLS: a host build with
#                                   zdl-sampleclient and zdl-mkdesc); GAME, a
#                                   program, replaces its "zpc.exe" before the
#                                   description is made; sets SAMPLE_FILES to
#                                   the served client folder
# zdl_sample_address and zdl_sample_site return non-zero with a message on
# failure.

zdl_sample_address() {
  local cache=$1/CMakeCache.txt hostport
  SAMPLE_URL=$(sed -n 's/^ZDL_SOURCE_URL:STRING=//p' "$cache" 2>/dev/null)
  SAMPLE_URL=${SAMPLE_URL:-http://127.0.0.1:8089/zphdownload_setup.exe.data}
  hostport=$(echo "$SAMPLE_URL" | sed -n 's#^http://\([^/]*\)/.*#\1#p')
  SAMPLE_HOST=${hostport%%:*} SAMPLE_PORT=${hostport##*:}
  [ "$SAMPLE_PORT" != "$hostport" ] || SAMPLE_PORT=80
  SAMPLE_NAME=${SAMPLE_URL##*/}
  SAMPLE_PREFIX=$(echo "$SAMPLE_URL" | sed -n 's#^http://[^/]*\(/.*\)/[^/]*$#\1#p')
  if [ "$SAMPLE_HOST" != 127.0.0.1 ] && [ "$SAMPLE_HOST" != localhost ]; then
    echo "the program's source $SAMPLE_URL is not on this machine" >&2
    return 1
  fi
}

# (Children never inherit the lock: a server's watchdog or the Wine server
# outliving a run would keep it. The port is probed as nginx binds, so the
# closed connections of an earlier run in TIME_WAIT are no user.)
zdl_sample_port_lock() {
  exec 8>"/tmp/zdl-port-$SAMPLE_PORT.lock"
  flock -w "$1" 8 || return 1
  python3 -c "import socket as k; s=k.socket(); s.setsockopt(k.SOL_SOCKET, k.SO_REUSEADDR, 1); s.bind(('127.0.0.1',$SAMPLE_PORT))" 2>/dev/null ||
    return 2
}

zdl_sample_site() {
  local tools=$1 www=$2 mib=$3 game=${4:-}
  SAMPLE_FILES=$www$SAMPLE_PREFIX/files
  [ -f "$www/.made-$mib-utf8" ] && { [ -z "$game" ] || cmp -s "$game" "$SAMPLE_FILES/zpc.exe"; } && return 0
  rm -rf "$www"
  "$tools/tools/sampleclient/zdl-sampleclient" "$SAMPLE_FILES" "$mib" 1 --utf8-names >/dev/null || {
    echo "zdl-sampleclient failed" >&2
    return 1
  }
  if [ -n "$game" ]; then
    [ -f "$SAMPLE_FILES/zpc.exe" ] || {
      echo "the sample client has no zpc.exe" >&2
      return 1
    }
    cp "$game" "$SAMPLE_FILES/zpc.exe"
  fi
  "$tools/tools/mkdesc/zdl-mkdesc" "$SAMPLE_FILES" "$www$SAMPLE_PREFIX" --name "$SAMPLE_NAME" >/dev/null || {
    echo "zdl-mkdesc failed" >&2
    return 1
  }
  touch "$www/.made-$mib-utf8"
}

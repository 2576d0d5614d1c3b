# shellcheck shell=bash
# Sourced by the scripts that serve a generated sample game client on the
# address built into a program (string 150 of its build tree):
#   zdl_sample_address BUILD_TREE   sets SAMPLE_URL, SAMPLE_HOST, SAMPLE_PORT,
#                                   SAMPLE_NAME (the description file's name)
#                                   and SAMPLE_PREFIX (the folder above it) from
#                                   the first address; SAMPLE_PORTS, the ports
#                                   of all its mirrors (loopback, each serving
#                                   the same folder), first port first
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
#   zdl_sample_sign SECRET_KEY      signs the served digest with the real
#                                   minisign (a key without a password): the
#                                   signature lies beside it as minisign writes
#                                   it; SAMPLE_DIGEST names the digest file
# zdl_sample_address and zdl_sample_site return non-zero with a message on
# failure.

zdl_sample_address() {
  local cache=$1/CMakeCache.txt list url hostport host port prefix
  list=$(sed -n 's/^ZDL_SOURCE_URL:STRING=//p' "$cache" 2>/dev/null)
  list=${list:-http://127.0.0.1:8089/zphdownload_setup.exe.data}
  SAMPLE_URL=${list%%;*} SAMPLE_PORTS=''
  SAMPLE_NAME=${SAMPLE_URL##*/}
  SAMPLE_PREFIX=$(echo "$SAMPLE_URL" | sed -n 's#^http://[^/]*\(/.*\)/[^/]*$#\1#p')
  local IFS=';'
  for url in $list; do
    hostport=$(echo "$url" | sed -n 's#^http://\([^/]*\)/.*#\1#p')
    host=${hostport%%:*} port=${hostport##*:}
    [ "$port" != "$hostport" ] || port=80
    prefix=$(echo "$url" | sed -n 's#^http://[^/]*\(/.*\)/[^/]*$#\1#p')
    if [ "$host" != 127.0.0.1 ] && [ "$host" != localhost ]; then
      echo "the program's source $url is not on this machine" >&2
      return 1
    fi
    if [ "$prefix" != "$SAMPLE_PREFIX" ]; then
      echo "the program's mirrors $list serve different folders" >&2
      return 1
    fi
    # shellcheck disable=SC2034 # for the scripts that source this
    [ -n "$SAMPLE_PORTS" ] || SAMPLE_HOST=$host SAMPLE_PORT=$port
    SAMPLE_PORTS="${SAMPLE_PORTS:+$SAMPLE_PORTS }$port"
  done
}

# The lock of the first port stands for all mirrors' ports (every user of
# a further port takes it first); the further ports are only probed.
# (Children never inherit the lock: a server's watchdog or the Wine server
# outliving a run would keep it. The port is probed as nginx binds, so the
# closed connections of an earlier run in TIME_WAIT are no user.)
zdl_sample_port_lock() {
  exec 8>"/tmp/zdl-port-$SAMPLE_PORT.lock"
  flock -w "$1" 8 || return 1
  local p
  for p in ${SAMPLE_PORTS:-$SAMPLE_PORT}; do
    python3 -c "import socket as k; s=k.socket(); s.setsockopt(k.SOL_SOCKET, k.SO_REUSEADDR, 1); s.bind(('127.0.0.1',$p))" 2>/dev/null ||
      return 2
  done
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

zdl_sample_sign() {
  SAMPLE_DIGEST=$(dirname "$SAMPLE_FILES")/$SAMPLE_NAME.digest
  [ -f "$SAMPLE_DIGEST" ] || {
    echo "no digest $SAMPLE_DIGEST to sign" >&2
    return 1
  }
  command -v minisign >/dev/null || {
    echo "no minisign" >&2
    return 1
  }
  rm -f "$SAMPLE_DIGEST.minisig"
  minisign -S -s "$1" -m "$SAMPLE_DIGEST" </dev/null >/dev/null || {
    echo "minisign could not sign $SAMPLE_DIGEST with $1" >&2
    return 1
  }
}

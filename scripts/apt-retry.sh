#!/usr/bin/env bash
# apt calls that survive a package mirror caught mid-sync: such a mirror
# serves an index that does not match its release file ("Mirror sync in
# progress?") for minutes, and apt-get then exits non-zero although every
# other index arrived. Sourced by deps.sh.
#
# ZDL_APT_TRIES (default 4) and ZDL_APT_PAUSE (seconds before the first
# retry, doubled each time; default 15) bound the waiting.

# Refreshes the package indexes, retrying a failed refresh. A refresh that
# keeps failing is not fatal: apt keeps the indexes it could fetch, and the
# install that follows says whether what we need was among them.
zdl_apt_update() {
  local tries=${ZDL_APT_TRIES:-4} pause=${ZDL_APT_PAUSE:-15} i log
  log=$(mktemp)
  for ((i = 1; i <= tries; i++)); do
    if apt-get update -q >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    echo "deps: apt-get update failed (try $i of $tries): $(grep -m1 -E '^(E|W):' "$log" || tail -n 1 "$log")"
    ((i < tries)) && sleep "$pause" && pause=$((pause * 2))
  done
  rm -f "$log"
  echo "deps: apt-get update kept failing; going on with the indexes apt has"
  return 0
}

# Installs packages ("$@" are apt-get install's arguments), refreshing the
# indexes and retrying when a download fails. Returns apt-get's status of
# the last try.
zdl_apt_install() {
  local tries=${ZDL_APT_TRIES:-4} pause=${ZDL_APT_PAUSE:-15} i rc=0
  for ((i = 1; i <= tries; i++)); do
    rc=0
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" >/dev/null || rc=$?
    [ "$rc" = 0 ] && return 0
    echo "deps: apt-get install failed with $rc (try $i of $tries)"
    if ((i < tries)); then
      sleep "$pause"
      pause=$((pause * 2))
      ZDL_APT_TRIES=1 zdl_apt_update
    fi
  done
  return "$rc"
}

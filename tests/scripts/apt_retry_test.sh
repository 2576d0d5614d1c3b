#!/usr/bin/env bash
# The set-up's apt calls against a stubbed apt-get: a refresh that fails a
# few times and then succeeds, one that never succeeds (the set-up goes on),
# and an install that fails once (retried after a refresh) or for good.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# The stub fails its first $FAIL_UPDATE updates and $FAIL_INSTALL installs,
# and logs every call.
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
log=$STUB_DIR/calls
echo "$*" >>"$log"
n=$(grep -c "^$1" "$log")
case "$1" in
  update) [ "$n" -gt "${FAIL_UPDATE:-0}" ] || { echo "E: Failed to fetch ... Mirror sync in progress?"; exit 100; } ;;
  install) [ "$n" -gt "${FAIL_INSTALL:-0}" ] || { echo "E: Unable to fetch some archives"; exit 100; } ;;
esac
exit 0
STUB
chmod +x "$work/bin/apt-get"
export PATH="$work/bin:$PATH" STUB_DIR=$work ZDL_APT_PAUSE=0 ZDL_APT_TRIES=3
# shellcheck source=scripts/apt-retry.sh
. "$root/scripts/apt-retry.sh"

failed=0 passed=0
check() {  # name expected-status expected-updates expected-installs status
  local updates installs
  updates=$(grep -c '^update' "$work/calls" 2>/dev/null)
  installs=$(grep -c '^install' "$work/calls" 2>/dev/null)
  if [ "$5" = "$2" ] && [ "$updates" = "$3" ] && [ "$installs" = "$4" ]; then
    passed=$((passed + 1))
  else
    echo "FAIL $1: status $5 (want $2), updates $updates (want $3), installs $installs (want $4)"
    failed=$((failed + 1))
  fi
  rm -f "$work/calls"
}

FAIL_UPDATE=2 zdl_apt_update >/dev/null; check "update succeeds on the third try" 0 3 0 $?
FAIL_UPDATE=9 zdl_apt_update >/dev/null; check "update failing for good is tolerated" 0 3 0 $?
FAIL_INSTALL=1 zdl_apt_install pkg >/dev/null; check "install retried after a refresh" 0 1 2 $?
FAIL_INSTALL=9 zdl_apt_install pkg >/dev/null; check "install failing for good fails" 100 2 3 $?
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]

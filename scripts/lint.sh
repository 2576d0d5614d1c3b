#!/usr/bin/env bash
# The checks that hold the sources to one form, in seconds:
#   format  every tracked C++ file (*.cpp, *.h, *.c) as the repo's
#           .clang-format lays it out, by the pinned formatter clang-format-14
#           (another version lays some constructs out differently);
#   shell   every tracked shell script (*.sh, and files without an extension
#           whose first line names bash) without a shellcheck finding, with
#           sourced files followed (-x) from the repo root.
#   scripts/lint.sh [format|shell]...   (default: both)
# Prints one line per check, "lint: <check> ok (N files)" or its findings
# followed by "lint: <check> FAILED"; exits 1 when a check fails and 2 when
# its tool is missing (make deps installs both).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
readonly formatter=clang-format-14

check_format() {
  command -v "$formatter" >/dev/null || { echo "lint: no $formatter (make deps installs it)" >&2; return 2; }
  local files=()
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
  # --dry-run names each deviation with its file and line; nothing is written.
  local out bad=()
  if ! out=$("$formatter" --dry-run --Werror "${files[@]}" 2>&1); then
    mapfile -t bad < <(grep -oE '^[^ :]+:[0-9]+:[0-9]+: (error|warning)' <<<"$out" | cut -d: -f1 | sort -u)
    if [ ${#bad[@]} -gt 0 ]; then
      printf 'lint: format: %s\n' "${bad[@]}"
    else
      head -n 20 <<<"$out"
    fi
    echo "lint: format FAILED: $formatter -i on the files above lays them out"
    return 1
  fi
  echo "lint: format ok (${#files[@]} files)"
}

shell_scripts() {
  local f
  git ls-files '*.sh'
  git ls-files | awk -F/ '$NF !~ /\./' | while IFS= read -r f; do
    if [ -f "$f" ] && head -n 1 "$f" | grep -qE '^#!.*\bbash\b'; then echo "$f"; fi
  done
}

check_shell() {
  command -v shellcheck >/dev/null || { echo "lint: no shellcheck (make deps installs it)" >&2; return 2; }
  local files=()
  mapfile -t files < <(shell_scripts | sort -u)
  if ! shellcheck -x -f gcc "${files[@]}" | sed 's/^/lint: shell: /'; then
    echo "lint: shell FAILED: shellcheck findings above (shellcheck -x FILE from the repo root explains each)"
    return 1
  fi
  echo "lint: shell ok (${#files[@]} files)"
}

checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(format shell)
worst=0
for c in "${checks[@]}"; do
  case $c in
  format) check_format ;;
  shell) check_shell ;;
  *)
    echo "usage: scripts/lint.sh [format|shell]..." >&2
    exit 2
    ;;
  esac
  rc=$?
  [ $rc -le $worst ] || worst=$rc
done
exit $worst

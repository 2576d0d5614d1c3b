#!/usr/bin/env bash
# Fails when a Windows executable imports a DLL that is not part of Windows,
# i.e. when it would need a run-time library shipped beside it.
set -euo pipefail
system='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|ws2_32|crypt32|bcrypt|secur32|wldap32|normaliz|iphlpapi|winhttp|wininet|msimg32|msvcrt|ucrtbase|ntdll|shlwapi|version|winmm|uxtheme|imm32|rpcrt4|api-ms-win-[a-z0-9-]+)\.dll$'
bad=0
for exe in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
  [ -n "$dlls" ] || { echo "check-imports: $exe: no import table found" >&2; bad=1; continue; }
  for d in $dlls; do
    if ! [[ $d =~ $system ]]; then
      echo "check-imports: $exe imports $d, which is not a system DLL" >&2
      bad=1
    fi
  done
  echo "$exe: imports $(paste -sd, <<<"$dlls")"
done
exit $bad

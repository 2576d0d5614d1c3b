# shellcheck shell=bash
# Sourced by the scripts that run Windows programs under Wine: a cached
# prefix per architecture with a Chinese locale (ANSI code page 936) and CJK
# font replacements, and an Xvfb display. The x86_64 tree runs under the
# 64-bit loader in a win64 prefix, the i686 tree under the 32-bit loader in a
# win32 prefix; 64-bit is chosen on sourcing. Functions:
#   zdl_wine_use ARCH      win64 or win32: sets ZDL_WINE, WINEPREFIX, WINEARCH
#   zdl_pe_arch FILE       prints win32 or win64 for a Windows program
#   zdl_wine_prefix        prepares $WINEPREFIX once (locked; cached)
#   zdl_xvfb_start         starts Xvfb on a display of its own, exports DISPLAY
#   zdl_xvfb_stop          stops the Xvfb that zdl_xvfb_start started
#   zdl_wine_session [S]   starts the Wine server and its services detached
#                          from our standard streams (persistent, or for S
#                          seconds after the last program)
#   zdl_wine_shot FILE     captures the whole screen of $DISPLAY to a PNG
#   zdl_wine_slowness      prints how many times slower than natively the
#                          programs of $ZDL_WINE run here: 10 for the 32-bit
#                          loader when i386 programs go through qemu-user,
#                          1 otherwise; $ZDL_WINE_SLOWNESS overrides it.
#                          Tests multiply their waits by it.
#
# Prefixes: $ZDL_WINE_PREFIX (default /var/cache/zdl-wine/prefix64) and
# $ZDL_WINE_PREFIX32 (default /var/cache/zdl-wine/prefix32).

zdl_wine_use() {
  case "$1" in
  win32)
    ZDL_WINE=/usr/lib/wine/wine
    WINEPREFIX=${ZDL_WINE_PREFIX32:-/var/cache/zdl-wine/prefix32}
    ;;
  win64)
    ZDL_WINE=/usr/lib/wine/wine64
    WINEPREFIX=${ZDL_WINE_PREFIX:-/var/cache/zdl-wine/prefix64}
    ;;
  *)
    echo "wine: unknown architecture $1" >&2
    return 1
    ;;
  esac
  export WINEPREFIX WINEARCH=$1
}

# The machine field of the PE header: 0x14c is i386, anything else here x86_64.
zdl_pe_arch() {
  local at machine
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  machine=$(od -An -tx2 -j$((${at:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  if [ "$machine" = 014c ]; then echo win32; else echo win64; fi
}

# The kernel tries binfmt_misc's handlers before its own ELF loader, so an
# enabled qemu-i386 entry runs every i386 program, the 32-bit loader too.
zdl_wine_slowness() {
  if [ -n "${ZDL_WINE_SLOWNESS:-}" ]; then
    echo "$ZDL_WINE_SLOWNESS"
  elif [ "$ZDL_WINE" = /usr/lib/wine/wine ] &&
    [ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null)" = enabled ]; then
    echo 10
  else
    echo 1
  fi
}

zdl_wine_use win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: nothing here needs them and nothing may be fetched.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The Chinese locale unless a test asks for another (ZDL_WINE_LANG).
export LANG=${ZDL_WINE_LANG:-zh_CN.UTF-8} LC_ALL=${ZDL_WINE_LANG:-zh_CN.UTF-8}

# Faces the skin and the dialogs ask for, all drawn with the installed CJK font.
ZDL_WINE_FACES=("宋体" "新宋体" "SimSun" "NSimSun" "楷体" "楷体_GB2312" "KaiTi" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "微软雅黑" "Microsoft YaHei")
ZDL_WINE_FONT="WenQuanYi Micro Hei"

zdl_wine_prefix() {
  local stamp=$WINEPREFIX/.zdl-ready-v1
  [ -f "$stamp" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$stamp" ] && exit 0
    echo "wine: preparing prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    DISPLAY='' "$ZDL_WINE" wineboot -i >/dev/null 2>&1 || true
    local face
    for face in "${ZDL_WINE_FACES[@]}"; do
      DISPLAY='' "$ZDL_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "$ZDL_WINE_FONT" /f >/dev/null 2>&1
    done
    "${ZDL_WINE%/*}/wineserver" -w 2>/dev/null || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine: could not create the prefix" >&2; exit 1; }
    touch "$stamp"
  ) 9>"$(dirname "$WINEPREFIX")/.lock"
}

ZDL_XVFB_PID=
# Xvfb chooses the display itself (-displayfd: it takes the first number
# whose lock it wins and writes it back when ready), so scripts starting at
# the same moment never share one display and then lose it when the other
# one stops its server.
zdl_xvfb_start() {
  local ready n
  ready=$(mktemp) || return 1
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
  ZDL_XVFB_PID=$!
  for _ in $(seq 100); do
    if [ "$(wc -l <"$ready")" -ge 1 ]; then  # the whole number, with its newline
      n=$(head -n 1 "$ready")
      rm -f "$ready"
      export DISPLAY=:$n
      return 0
    fi
    kill -0 $ZDL_XVFB_PID 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$ready"
  kill $ZDL_XVFB_PID 2>/dev/null
  ZDL_XVFB_PID=
  echo "wine: Xvfb did not start" >&2
  return 1
}

# The first Windows program of a session starts the Wine server and the
# prefix's services, which inherit that program's standard streams and
# outlive it: a test runner reading the program's output would then wait for
# them. Starting them here, on /dev/null, keeps every program's output its own.
zdl_wine_session() {
  "${ZDL_WINE%/*}/wineserver" -p"${1:-}" </dev/null >/dev/null 2>&1 || true
  "$ZDL_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

zdl_xvfb_stop() {
  if [ -n "$ZDL_XVFB_PID" ]; then
    kill "$ZDL_XVFB_PID" 2>/dev/null
    wait "$ZDL_XVFB_PID" 2>/dev/null
    ZDL_XVFB_PID=
  fi
}

zdl_wine_shot() {
  import -display "$DISPLAY" -window root "$1"
}

# shellcheck shell=bash
# Sourced by the Wine benchmarks that drive zdl.exe's windows with xdotool.
#   geometry WINDOW        sets X Y WIDTH HEIGHT of a window
#   zdl_find_windows SECS  waits up to SECS for the main window (868 x 513)
#                          and the licence window (488 x 510); sets wid, lid
#   click X Y              moves the pointer there and clicks
geometry() {
  # shellcheck disable=SC2034 # set for the caller
  X='' Y='' WIDTH='' HEIGHT=''
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
  [ -n "$X" ] && [ -n "$WIDTH" ]
}

zdl_find_windows() {
  local w
  wid='' lid=''
  for _ in $(seq $(($1 * 2))); do
    for w in $(xdotool search --onlyvisible --name Zephyra 2>/dev/null); do
      geometry "$w" || continue
      [ "${WIDTH}x$HEIGHT" = 868x513 ] && wid=$w
      [ "${WIDTH}x$HEIGHT" = 488x510 ] && lid=$w
    done
    [ -n "$wid" ] && [ -n "$lid" ] && return 0
    sleep 0.5
  done
  return 1
}

click() {
  xdotool mousemove "$1" "$2"
  sleep 0.3
  xdotool click 1
}

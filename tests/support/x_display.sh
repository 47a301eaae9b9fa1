# A private X display managed by openbox, and what the window checks ask of it through the X
# server (xdotool, xwininfo, xprop). Sourced by the checks, which own $work (a temporary folder)
# and the array pids (the processes to end when they exit).

# Exits 77 (skipped) unless every program named is installed.
require_tools() {
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed"
      exit 77
    fi
  done
}

# Waits until the command succeeds, up to $1 tenths of a second; false when it never did.
wait_until() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Starts Xvfb on a display of its choosing (it writes the number to a pipe), with the further
# Xvfb arguments given, and openbox on it, waiting up to 10 s until openbox manages windows.
start_x_display() {
  local number
  mkfifo "$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 "$@" -nolisten tcp 3>"$work/display" \
    >/dev/null 2>&1 &
  pids+=($!)
  read -r -t 20 number <"$work/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
  export DISPLAY=":$number"
  openbox >/dev/null 2>&1 &
  pids+=($!)
  wait_until 100 wm_ready || { echo "FAIL: openbox did not start"; exit 1; }
}
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The visible window named exactly $1 (other than window $2), waited for up to
# $find_window_tenths tenths of a second (10 s unless set); empty when none came.
find_window() {
  local id
  for _ in $(seq "${find_window_tenths:-100}"); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "${2:-0}" | head -1)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
}
# Whether no visible window is named exactly $1 (other than window $2).
gone() { [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "${2:-0}")" ]; }

# "X Y W H" of window $1's own area on the screen, as the X server has it.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                           /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}

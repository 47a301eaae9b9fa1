#!/usr/bin/env bash
# The program's windows under a real window manager: starts NANDELL (the built program) STARTS
# times on a virtual X display managed by openbox and, at every start, checks with the X
# server's own answers that
#   - the About box opens with its area centred over the main window,
#   - the folder picker opens with its area centred over the main window,
#   - a drag of the About box and of the main window moves each by exactly the mouse's travel.
# Input is real pointer and key input (xdotool, XTEST). Exits 77 (skipped) where Xvfb, openbox,
# xdotool or xwininfo are missing.
#   usage: placement_check.sh NANDELL [STARTS]
set -uo pipefail
nandell=${1:?usage: placement_check.sh NANDELL [STARTS]}
starts=${2:-10}
source "$(dirname "$0")/../support/x_display.sh"
require_tools Xvfb openbox xdotool xwininfo xprop

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_x_display

failures=0
fail() {
  echo "FAIL (start $start): $*"
  failures=$((failures + 1))
}

# Waits up to 10 s until the window manager has window $1 in hand (it has set the window's frame
# extents): from then on the window stands where it was placed.
managed() {
  for _ in $(seq 100); do
    xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '=' && return 0
    sleep 0.1
  done
  return 1
}

# Asserts that window $2 ($1 in messages) has its area centred over the area "X Y W H" in $3
# (to the pixel); the window manager is given up to 3 s to place it.
check_centred() {
  local what=$1 x y w h mx my mw mh want_x want_y
  read -r mx my mw mh <<<"$3"
  for _ in $(seq 30); do
    read -r x y w h <<<"$(geometry "$2")"
    want_x=$((mx + (mw - w) / 2)) want_y=$((my + (mh - h) / 2))
    [ $((x - want_x)) -ge -1 ] && [ $((x - want_x)) -le 1 ] &&
      [ $((y - want_y)) -ge -1 ] && [ $((y - want_y)) -le 1 ] && return
    sleep 0.1
  done
  fail "$what at ($x,$y) ${w}x$h, not centred over the main window at ($mx,$my) ${mw}x$mh" \
       "(centred: ($want_x,$want_y))"
}

# Drags with the left button from ($1,$2) by ($3,$4) in small steps, at a hand's pace: the
# pauses between the steps are the point (a drag that is all one instant is not a hand's), so
# they are fixed; the pointer is at each step before the next (--sync).
drag() {
  local x=$1 y=$2 dx=$3 dy=$4
  xdotool mousemove --sync "$x" "$y"
  sleep 0.2
  xdotool mousedown 1
  sleep 0.2
  for step in 1 2 3 4 5; do
    xdotool mousemove --sync $((x + dx * step / 5)) $((y + dy * step / 5))
    sleep 0.05
  done
  sleep 0.3
  xdotool mouseup 1
}

# Asserts that window $5 ($1 in messages) moved from "X Y W H" in $2 by ($3,$4); the window
# manager is given up to 3 s to get there.
check_moved() {
  local what=$1 x0 y0 x y rest
  read -r x0 y0 rest <<<"$2"
  for _ in $(seq 30); do
    read -r x y rest <<<"$(geometry "$5")"
    [ "$x" -eq $((x0 + $3)) ] && [ "$y" -eq $((y0 + $4)) ] && return
    sleep 0.1
  done
  fail "$what moved from ($x0,$y0) to ($x,$y); the mouse travelled ($3,$4)"
}

mkdir -p "$work/photos"
for start in $(seq "$starts"); do
  # A fresh copy of the program beside its own Config.ini, with a photo folder chosen.
  app="$work/start$start"
  mkdir -p "$app"
  cp "$nandell" "$app/nandell"
  printf '[VovirurOrarudar]\nCheckVersion=0\nPathSrc=%s/\n' "$work/photos" >"$app/Config.ini"
  QT_QPA_PLATFORM=xcb "$app/nandell" >"$app/output.txt" 2>&1 &
  program=$!

  main=$(find_window Nandell)
  if [ -z "$main" ]; then
    fail "the main window did not appear"
    kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null
    continue
  fi
  managed "$main" || fail "the window manager did not take the main window"
  read -r mx my mw mh <<<"$(geometry "$main")"

  # The About box, from its button (about: 494,5 16x16).
  xdotool mousemove $((mx + 502)) $((my + 13)) click 1
  about=$(find_window '关于 Nandell')
  if [ -z "$about" ]; then
    fail "the About box did not open"
  else
    check_centred "the About box" "$about" "$mx $my $mw $mh"
    about_place=$(geometry "$about")
    # Dragged by its background, below its title band.
    read -r ax ay _ _ <<<"$about_place"
    drag $((ax + 40)) $((ay + 160)) 30 20
    check_moved "the About box" "$about_place" 30 20 "$about"
    # Closed with its close button (339,5 16x16).
    read -r ax ay _ _ <<<"$(geometry "$about")"
    xdotool mousemove $((ax + 347)) $((ay + 13)) click 1
    wait_until 100 gone '关于 Nandell' || fail "the About box did not close"
  fi

  # The folder picker, from the photo folder button (87,91 155x52).
  xdotool mousemove $((mx + 164)) $((my + 117)) click 1
  picker=$(find_window '浏览目录')
  if [ -z "$picker" ]; then
    fail "the folder picker did not open"
  else
    check_centred "the folder picker" "$picker" "$mx $my $mw $mh"
    xdotool windowactivate --sync "$picker" >/dev/null 2>&1
    xdotool key Escape
    wait_until 100 gone '浏览目录' || fail "the folder picker did not close"
  fi

  # The main window, dragged by its skin.
  before=$(geometry "$main")
  read -r mx my _ _ <<<"$before"
  drag $((mx + 300)) $((my + 60)) 40 25
  check_moved "the main window" "$before" 40 25 "$main"

  # Closed with its close button (582,2 38x34).
  read -r mx my _ _ <<<"$(geometry "$main")"
  xdotool mousemove $((mx + 601)) $((my + 19)) click 1
  for _ in $(seq 100); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$program" 2>/dev/null; then
    fail "the program did not end with its close button"
    kill "$program" 2>/dev/null
  fi
  wait "$program" 2>/dev/null
done

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s) over $starts starts"
  exit 1
fi
echo "OK: $starts starts, dialogs centred and drags exact every time"

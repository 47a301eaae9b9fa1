#!/usr/bin/env bash
# The Windows window (nandell.exe) as a user meets it, under Wine on a virtual X display managed
# by openbox, driven with real pointer and key input (xdotool, XTEST):
#   - the window "Nandell" opens at the skin's 622 x 416 with the folders of Config.ini (a
#     Chinese photo folder, read from UTF-8 and written back in UTF-16);
#   - folders are chosen through the folder picker by typing, a missing one made after the
#     question; the organize button organizes them exactly as nandell-cli.exe does;
#   - the right-click menu undoes that run; a run that fails every file writes errorFile.txt and
#     opens it in Notepad; the footer and the About box's links open through the shell; a long
#     run stops after the files in hand; the window drags with the skin and minimizes;
#   - the close button and Escape end the program, and Config.ini keeps the folders;
#   - with Language=en the window speaks English.
# Programs and links are recorded (NANDELL_LAUNCH_LOG), not started. Screenshots go to
# BUILD/tests/winui/screenshots/. The prefix (BUILD/wineprefix-gui) has WenQuanYi Micro Hei as
# the replacement of 宋体/SimSun and Microsoft YaHei, and 96 DPI. Exits 77 (skipped) where Xvfb,
# openbox, xdotool, xwininfo or wine are missing.
#   usage: window_check.sh NANDELL_EXE WINTOOL_EXE NANDELL_CLI_EXE BUILD_DIR SAMPLES_DIR
set -uo pipefail
if [ $# -ne 5 ]; then
  echo "usage: window_check.sh NANDELL_EXE WINTOOL_EXE NANDELL_CLI_EXE BUILD_DIR SAMPLES_DIR" >&2
  exit 2
fi
nandell=$1 wintool=$2 cli=$3 build=$4 samples=$5
source "$(dirname "$0")/../support/x_display.sh"
require_tools Xvfb openbox xdotool xwininfo xprop wine iconv
export LC_ALL=C.UTF-8
wine_run=$(cd "$(dirname "$0")/../../cmake" && pwd)/wine-run.sh
export WINEPREFIX=$build/wineprefix-gui WINEARCH=win64 WINEDEBUG=-all
shots=$build/tests/winui/screenshots
mkdir -p "$shots" "$WINEPREFIX"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wineserver -k 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# ---- The display and the prefix ----

start_x_display -dpi 96

if [ ! -f "$WINEPREFIX/.window-check-ready" ]; then
  # The fonts that stand in for the templates' 宋体 and the system's Chinese fonts, and 96 DPI
  # (a skin placed by pixels does not scale).
  {
    printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"宋体"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
"新宋体"="WenQuanYi Micro Hei"
"NSimSun"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
"微软雅黑"="WenQuanYi Micro Hei"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:00000060

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]
"LogPixels"=dword:00000060
EOF
  } >"$work/prefix.reg"
  "$wine_run" "$WINEPREFIX" regedit /S "$(winepath -w "$work/prefix.reg" 2>/dev/null)" \
    >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.window-check-ready"
fi

# ---- The files: under C:, where the shell's folder browser finds them at once ----

drive=$WINEPREFIX/drive_c
root=$drive/nandell-check
rm -rf "$root"
mkdir -p "$root/app" "$root/照片/相机" "$root/big" "$root/ref"
cp "$nandell" "$root/app/nandell.exe"
mkdir -p "$root/app/locale" && cp -r "$build/locale/en" "$root/app/locale/"
cp "$samples"/*.jpg "$root/照片/相机/"
sample_count=$(ls "$samples"/*.jpg | wc -l)
# A long run for the stop button: the samples under many names.
for n in $(seq 1 700); do
  for f in "$samples"/*.jpg; do ln "$root/照片/相机/${f##*/}" "$root/big/${n}_${f##*/}"; done
done
big_count=$(ls "$root/big" | wc -l)
C='C:\nandell-check'
launches=$root/launches.txt
: >"$launches"

# Config.ini in UTF-8 with its mark, as a user might write it: the photo folder chosen.
write_config() {
  printf '\xef\xbb\xbf[VovirurOrarudar]\r\nCheckVersion=0\r\nPathSrc=%s\\照片\\相机\\\r\n%b' \
    "$C" "$1" >"$root/app/Config.ini"
}
# Config.ini's value of key $1 as the program wrote it (UTF-16).
config_value() {
  iconv -f UTF-16 -t UTF-8 "$root/app/Config.ini" 2>/dev/null | tr -d '\r' |
    sed -n "s/^$1=//p"
}

# ---- Talking to the windows ----

tool() { "$wine_run" "$WINEPREFIX" "$wintool" "$@" 2>/dev/null | tr -d '\r'; }
# Windows are waited for up to 15 s (find_window).
find_window_tenths=150
# Keys go to the active window: `xdotool key --window` does not reach Wine's windows. They are
# sent once Windows has made the window the foreground window, so that they reach it.
keys() {
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
  local title
  title=$(xdotool getwindowname "$1" 2>/dev/null)
  wait_until 50 tool foreground "$title" || fail "'$title' did not get the input"
  shift
  xdotool "$@"
}
# A click at ($1,$2) of the main window's client area, once the pointer is there.
click() {
  read -r mx my _ _ <<<"$(geometry "$main")"
  xdotool mousemove --sync $((mx + $1)) $((my + $2))
  xdotool click "${3:-1}"
}
# The right-click menu is open: a visible window of the program without a name.
menu_open() {
  local window
  for window in $(xdotool search --onlyvisible --class nandell.exe 2>/dev/null); do
    [ -z "$(xdotool getwindowname "$window" 2>/dev/null)" ] && return 0
  done
  return 1
}
text() { tool text Nandell "$1"; }
# A screenshot of the window titled $1 into $2; tried again for a moment, since under load Wine
# may not have the window's pixels or the file ready at the first try.
shot() {
  local out
  out=$(winepath -w "$shots/$2" 2>/dev/null)
  [ -n "$out" ] && wait_until 20 tool shot "$1" "$out" || fail "no screenshot of $1"
}
# The message area holds $1 (after a run or an undo: the organize button back).
message_has() { text 1018 | grep -q "$1" && tool state Nandell 1005 | grep -q "visible enabled"; }
summary_of() { text 1018 | grep -o "$1"; }

# The folder picker from button ($1,$2): $3 typed into its edit box, then OK; $4 "ask" when the
# folder is missing and the question is to be answered Yes.
pick_folder() {
  click "$1" "$2"
  local picker
  picker=$(find_window '浏览目录')
  [ -n "$picker" ] || { fail "the folder picker did not open"; return; }
  # The shell's dialog fills its tree and its edit box after it shows, with nothing to see from
  # outside when it is done: a fixed pause, so that the typing is not overwritten.
  sleep 0.5
  keys "$picker" type --delay 30 "$3"
  [ -n "${5:-}" ] && shot '浏览目录' "$5"
  keys "$picker" key Return
  if [ "${4:-}" = ask ]; then
    local question
    question=$(find_window Nandell "$main")
    [ -n "$question" ] || { fail "no question before $3 was made"; return; }
    keys "$question" key Return
  fi
  wait_until 100 gone '浏览目录' || fail "the folder picker stayed open after $3"
}

start() {
  (cd "$root/app" && NANDELL_LAUNCH_LOG="$C\\launches.txt" \
     "$wine_run" "$WINEPREFIX" "$C\\app\\nandell.exe" >"$work/program.txt" 2>&1) &
  program=$!
  main=$(find_window Nandell)
}
# Waits up to 20 s for the program to end; false when it did not.
gone_program() { ! kill -0 "$program" 2>/dev/null; }
ended() { wait_until 200 gone_program; }

# ---- First start: the designed window, a run, its undo, failures, links, stop, close ----

write_config "PathTar=\r\n"
start
if [ -z "$main" ]; then
  echo "FAIL: the window \"Nandell\" did not appear"; cat "$work/program.txt"; exit 1
fi
folder_shown() { [ -n "$(text 1019)" ]; }
wait_until 50 folder_shown
read -r _ _ w h <<<"$(geometry "$main")"
[ "$w $h" = "622 416" ] || fail "the window is ${w}x$h, not the skin's 622x416"
[ "$(text 1019)" = "$C\\照片\\相机\\" ] || fail "the photo folder shows '$(text 1019)'"
shot Nandell main-window.png

# The output folder, typed; it is missing and made after the question.
pick_folder 164 209 "$C\\out\\sorted" ask folder-picker.png
[ -d "$root/out/sorted" ] || fail "the output folder was not made"
[ "$(text 1020)" = "$C\\out\\sorted\\" ] || fail "the output folder shows '$(text 1020)'"

# The organize button (at 87,274, 155 x 52) shows its hover slice when the pointer rests on it.
normal=$(tool pixel Nandell 100 290)
read -r mx my _ _ <<<"$(geometry "$main")"
xdotool mousemove $((mx + 164)) $((my + 300))
hovered() { [ "$(tool pixel Nandell 100 290)" != "$normal" ]; }
wait_until 30 hovered ||
  fail "the organize button kept its normal look under the pointer ($normal)"
# Organize: the same result as nandell-cli.exe's.
click 164 300
wait_until 300 message_has '整理文件' || fail "the run did not end: '$(text 1018)'"
[ "$(summary_of '整理文件 [0-9]* 个, 失败 [0-9]* 个')" = "整理文件 $sample_count 个, 失败 0 个" ] ||
  fail "the run's summary is '$(text 1018)'"
"$wine_run" "$WINEPREFIX" "$cli" organize "$C\\照片\\相机" "$C\\ref" >/dev/null 2>&1
listing() { (cd "$1" && find . -path ./.nandell -prune -o -type f -print | sort); }
[ -n "$(listing "$root/ref")" ] && [ "$(listing "$root/out/sorted")" = "$(listing "$root/ref")" ] ||
  fail "the window's run and nandell-cli.exe's differ"
while read -r f; do
  cmp -s "$root/ref/$f" "$root/out/sorted/$f" || fail "$f differs from nandell-cli.exe's"
done < <(listing "$root/ref")
shot Nandell main-window-run.png

# Undo from the right-click menu, after its question.
click 300 60 3
wait_until 50 menu_open || fail "the right-click menu did not open"
xdotool key u
question=$(find_window '提示')
[ -n "$question" ] && keys "$question" key Return || fail "no question before the undo"
wait_until 300 message_has '撤销文件' || fail "the undo did not end: '$(text 1018)'"
[ -z "$(listing "$root/out/sorted")" ] || fail "the undo left files: $(listing "$root/out/sorted")"

# Organized again, then once more: every file fails, errorFile.txt opens in Notepad.
click 164 300
wait_until 300 message_has '失败 0 个' || fail "the second run did not end: '$(text 1018)'"
click 164 300
wait_until 300 message_has "失败 $sample_count 个" || fail "the failing run: '$(text 1018)'"
[ -f "$root/app/errorFile.txt" ] || fail "no errorFile.txt beside the program"
wait_until 50 grep -qxF "notepad.exe	$C\\app\\errorFile.txt" "$launches" ||
  fail "Notepad was not started on errorFile.txt: $(cat "$launches")"
tool state Nandell 1021 | grep -q visible || fail "the failure list's line is not shown"
shot Nandell main-window-failures.png

# The footer link, and the About box with its e-mail link.
click 300 404
wait_until 50 grep -qxF "http://www.nandell.example.com	" "$launches" ||
  fail "the footer link did not open: $(cat "$launches")"
click 502 13
about=$(find_window '关于 Nandell')
if [ -z "$about" ]; then
  fail "the About box did not open"
else
  [ "$(tool size '关于 Nandell')" = "360 200" ] || fail "the About box is $(tool size '关于 Nandell')"
  shot '关于 Nandell' about-box.png
  read -r ex ey _ eh <<<"$(tool rect '关于 Nandell' 1015)"
  read -r ax ay _ _ <<<"$(geometry "$about")"
  xdotool mousemove $((ax + ex + 20)) $((ay + ey + eh / 2)) click 1
  wait_until 50 grep -qxF "mailto:support@nandell.example.com	" "$launches" ||
    fail "the e-mail link did not open: $(cat "$launches")"
  keys "$about" key Escape
  wait_until 50 gone '关于 Nandell' || fail "Escape did not close the About box"
fi

# The options window.
click 520 13
options=$(find_window '选项')
if [ -z "$options" ]; then
  fail "the options window did not open"
else
  shot '选项' options-window.png
  keys "$options" key Escape
  wait_until 50 gone '选项' || fail "Escape did not close the options window"
fi

# A long run, stopped: it ends after the files in hand.
pick_folder 164 117 "$C\\big"
pick_folder 164 209 "$C\\out\\big" ask
click 164 300
stop_shown() { tool state Nandell 1007 | grep -q visible; }
wait_until 200 stop_shown ||
  fail "the stop button did not show"
# Escape during the run asks first; "No" keeps the window and the run.
keys "$main" key Escape
question=$(find_window '提示')
[ -n "$question" ] && keys "$question" key n || fail "Escape during the run did not ask first"
wait_until 50 gone '提示' || fail "the question stayed after No"
kill -0 "$program" 2>/dev/null && tool state Nandell 1007 | grep -q visible ||
  fail "answering No ended the run or the program"
shot Nandell main-window-running.png
click 585 298
wait_until 300 message_has '整理文件' || fail "the stopped run did not end: '$(text 1018)'"
done_count=$(summary_of '整理文件 [0-9]* 个' | grep -o '[0-9]*')
[ -n "$done_count" ] && [ "$done_count" -lt "$big_count" ] ||
  fail "the stop did not stop the run: '$(text 1018)' of $big_count files"
tool state Nandell 1007 | grep -q hidden || fail "the stop button is still shown"

# Dragged by the skin: the window moves as far as the mouse, moved at a hand's pace (the pauses
# are the point: a drag that is all one instant is not a hand's).
read -r x0 y0 _ _ <<<"$(geometry "$main")"
xdotool mousemove $((x0 + 320)) $((y0 + 60))
sleep 0.2
xdotool mousedown 1
sleep 0.5
for step in 1 2 3 4 5; do
  xdotool mousemove $((x0 + 320 + 8 * step)) $((y0 + 60 + 6 * step))
  sleep 0.05
done
sleep 0.3
xdotool mouseup 1
moved() { [ "$(geometry "$main" | cut -d' ' -f1-2)" = "$((x0 + 40)) $((y0 + 30))" ]; }
wait_until 30 moved ||
  fail "the drag moved the window from ($x0,$y0) to ($(geometry "$main"))"

# The close button ends the program; Config.ini keeps the folders, in UTF-16.
click 601 19
ended || fail "the close button did not end the program"
[ "$(config_value PathSrc)" = "$C\\big\\" ] || fail "Config.ini's PathSrc is '$(config_value PathSrc)'"
[ "$(config_value PathTar)" = "$C\\out\\big\\" ] || fail "Config.ini's PathTar is '$(config_value PathTar)'"

# ---- Second start, in English: a refusal in English, minimize, Escape ends it ----

write_config "PathTar=\r\nLanguage=en\r\n"
start
if [ -z "$main" ]; then
  fail "the English window did not appear"
else
  wait_until 50 folder_shown
  shot Nandell main-window-en.png
  click 164 300
  refusal=$(find_window Notice)
  [ -n "$refusal" ] || fail "no refusal box titled Notice"
  [ -n "$refusal" ] && shot Notice refusal-box-en.png && keys "$refusal" key Return
  click 563 19
  minimized() { xprop -id "$main" _NET_WM_STATE | grep -q HIDDEN; }
  wait_until 50 minimized ||
    fail "the minimize button did not minimize the window"
  xdotool windowactivate --sync "$main" 2>/dev/null
  keys "$main" key Escape
  ended || fail "Escape did not end the program"
  [ "$(config_value PathSrc)" = "$C\\照片\\相机\\" ] ||
    fail "the Chinese photo folder came back as '$(config_value PathSrc)'"
fi

echo "screenshots: $shots"
if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "PASS"

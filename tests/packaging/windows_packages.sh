#!/usr/bin/env bash
# The Windows installer and zip, made by CPack from the Windows build and tried under Wine in a
# prefix of their own, made anew: silent installs (/S) into Program Files and, twice (an update),
# into a folder named with /D hold the programs, the catalog and the uninstaller alone; the
# installed nandell-cli.exe runs and speaks English; the Start-menu entries and the installed
# program's entry exist; the listed uninstaller (/S) leaves drive C: and the registry as they
# were. The zip holds the programs and the catalog, and its nandell-cli.exe speaks English.
#   windows_packages.sh CPACK BUILD_DIR WINE_RUN PREFIX WITH_WINDOW(0|1)
set -uo pipefail
cpack=$1 build=$2 wine_run=$3 prefix=$4 with_window=$5
work=$(mktemp -d) || exit 1
[ -n "${KEEP_WORK:-}" ] || trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "$*"
  status=1
}

if ! (cd "$build" && "$cpack" -G "NSIS;ZIP" -B "$work") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
installer=$(echo "$work"/nandell-*-win64.exe)
zip=$(echo "$work"/nandell-*-win64.zip)
version=${installer##*/nandell-}
version=${version%-win64.exe}
# What both packages hold, below their folder.
files=(locale/en/LC_MESSAGES/nandell.mo nandell-cli.exe)
[ "$with_window" = 1 ] && files+=(nandell.exe)

rm -rf "$prefix"
drive=$prefix/drive_c
wine() { "$wine_run" "$prefix" "$@"; }
wine cmd /c exit >/dev/null || exit 1
# Every file and folder of drive C: but the users' Temp folders, where an uninstaller copies
# itself to run (Windows removes that copy at the next start).
snapshot() { (cd "$drive" && find . -path './users/*/Temp' -prune -o -print | LC_ALL=C sort); }
# The files below folder $1, with their paths relative to it.
listing() { (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort); }
# The program $1 (a Windows path) prints its version and speaks English when asked.
runs() {
  local out
  out=$(wine "$1" --version | tr -d '\r')
  [ "$out" = "nandell-cli $version" ] || fail "$1 --version printed: $out"
  out=$(wine "$1" --lang en history 'C:\windows' 2>&1 | tr -d '\r')
  grep -q '^No runs recorded in: ' <<<"$out" || fail "$1 did not speak English: $out"
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nandell'
# The value $2 of registry key $1, empty when there is none.
registry_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p"
}
before=$(snapshot)
start_menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Nandell"

# install_case FOLDER TIMES [/D=FOLDER]: installs TIMES times into FOLDER (a Windows path),
# checks the installation and uninstalls it.
install_case() {
  local folder=$1 times=$2
  shift 2
  local unix=$drive/${folder#C:\\}
  unix=${unix//\\//}
  for _ in $(seq "$times"); do
    wine "$installer" /S "$@" || fail "the installer failed into $folder"
  done
  local expected
  expected=$(printf '%s\n' "${files[@]}" Uninstall.exe | LC_ALL=C sort)
  [ "$(listing "$unix")" = "$expected" ] ||
    fail "$folder holds:" $'\n'"$(listing "$unix")"$'\n'"instead of:"$'\n'"$expected"
  runs "$folder\\nandell-cli.exe"
  local entries=(Uninstall.lnk:Uninstall.exe)
  [ "$with_window" = 1 ] && entries+=(Nandell.lnk:nandell.exe)
  for entry in "${entries[@]}"; do
    grep -qaF "$folder\\${entry#*:}" "$start_menu/${entry%:*}" ||
      fail "no Start-menu entry ${entry%:*} for $folder\\${entry#*:}"
  done
  [ "$(registry_value "$uninstall_key" DisplayVersion)" = "$version" ] ||
    fail "Windows does not list Nandell $version as installed"
  local uninstaller
  uninstaller=$(registry_value "$uninstall_key" UninstallString)
  [ "$uninstaller" = "\"$folder\\Uninstall.exe\"" ] || fail "UninstallString is $uninstaller"
  # The uninstaller runs from a copy of itself and returns at once: wait for the copy.
  wine "${uninstaller//\"/}" /S || fail "the uninstaller failed in $folder"
  WINEPREFIX=$prefix wineserver -w
  [ "$(snapshot)" = "$before" ] || fail "the uninstaller left behind (< gone, > left):" \
    $'\n'"$(diff <(echo "$before") <(snapshot))"
  for key in "$uninstall_key" 'HKLM\Software\Nandell'; do
    wine reg query "$key" >/dev/null 2>&1 && fail "the uninstaller left the registry key $key"
  done
}
install_case 'C:\Program Files\Nandell' 1
install_case 'C:\NandellTest' 2 '/D=C:\NandellTest'

# The zip, unpacked on drive C:.
mkdir -p "$drive/nandell-zip"
(cd "$drive/nandell-zip" && cmake -E tar xf "$zip") || fail "the zip could not be unpacked"
top=$(basename "$zip" .zip)
expected=$(printf '%s\n' "${files[@]}" | LC_ALL=C sort)
[ "$(listing "$drive/nandell-zip/$top")" = "$expected" ] ||
  fail "the zip holds:"$'\n'"$(cd "$drive/nandell-zip" && find . -type f)"
runs "C:\\nandell-zip\\$top\\nandell-cli.exe"
exit $status

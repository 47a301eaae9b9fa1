#!/usr/bin/env bash
# The Debian package as a user gets it: builds it from an existing build folder (the first
# argument, "build" by default), checks it with lintian, desktop-file-validate and
# appstreamcli, installs it with apt-get, runs the installed programs as an unprivileged user
# with a fresh home (nandell-cli date and organize over samples/, the window briefly), checks
# the menu entry, the icons, the manual pages and the completion, then purges the package and
# checks that nothing of it is left under /usr. Needs root (apt-get); a nandell package
# installed before is replaced and then removed. Exits non-zero on the first failed check.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ "$(id -u)" -ne 0 ]; then
  echo "package-test: skipped (installing a package needs root)"
  exit 0
fi
# One package test at a time on a machine: they install and remove the same package.
mkdir -p /run/lock
exec 9>/run/lock/nandell-package-test.lock
flock 9

fail() {
  echo "package-test: FAILED: $*" >&2
  exit 1
}
step() { echo "== package-test: $* (at ${SECONDS}s)"; }

step "build the package"
rm -f "$build"/nandell_*.deb
cmake --build "$build" --target package >"$build/package.log" 2>&1 ||
  fail "the package does not build: $(tail -20 "$build/package.log")"
debs=("$build"/nandell_*_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one nandell_VERSION_ARCH.deb in $build"
deb=$(realpath "${debs[0]}")
built_cli=$(realpath "$build/cli/nandell-cli")
echo "$deb"

step "lintian"
# No error and no warning; the remaining notes (info) are explained in CONTRIBUTING.md.
setpriv --reuid=65534 --regid=65534 --clear-groups -- env -i PATH=/usr/bin:/bin HOME=/tmp \
  lintian --fail-on error,warning "$deb" || fail "lintian"

work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
  rm -rf "$work"
  if dpkg-query -W -f='${Status}' nandell 2>/dev/null | grep -q "ok installed"; then
    apt-get -o DPkg::Lock::Timeout=600 purge -y -qq nandell >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

step "install with apt-get"
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  fail "apt-get install: $(cat "$work/apt.log")"
mapfile -t packaged < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./|/|p' | grep -v '/$')

step "menu entry, AppStream data, icons, manual pages, completion"
desktop-file-validate /usr/share/applications/nandell.desktop || fail "desktop-file-validate"
metainfo=/usr/share/metainfo/example.nandell.Nandell.metainfo.xml
grep -q '<launchable type="desktop-id">nandell.desktop</launchable>' "$metainfo" ||
  fail "no AppStream data for nandell.desktop in /usr/share/metainfo"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" ||
  fail "appstreamcli validate: $(cat "$work/appstream.log")"
grep -qx 'Icon=nandell' /usr/share/applications/nandell.desktop || fail "menu entry without its icon"
for size in 48 64 128 256; do
  icon=/usr/share/icons/hicolor/${size}x${size}/apps/nandell.png
  [ -f "$icon" ] || fail "missing $icon"
  # PNG header: width and height, big-endian, at bytes 16 and 20.
  read -r w h < <(od -An -tu1 -j16 -N8 "$icon" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$icon is $w x $h"
done
if grep -rqs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/; then
  echo "(manual pages are excluded from installation on this system: not checked)"
else
  for page in nandell nandell-cli; do
    man -w "$page" >/dev/null || fail "no manual page $page(1)"
  done
fi
bash -c 'source /usr/share/bash-completion/completions/nandell-cli && complete -p nandell-cli' \
  >/dev/null || fail "no bash completion for nandell-cli"

# An unprivileged user with a fresh home, no settings and no other environment.
home=$work/home
mkdir -p "$home" "$work/out"
cp -r samples "$work/photos"
chown -R 65534:65534 "$home" "$work/out" "$work/photos"
as_user() {
  (cd "$work" && setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 ${TZ:+TZ="$TZ"} "$@")
}

step "nandell-cli date, installed, as an unprivileged user"
mapfile -t photos < <(cd "$work" && printf '%s\n' photos/*.jpg)
as_user /usr/bin/nandell-cli date "${photos[@]}" >"$work/dates" || fail "nandell-cli date exited $?"
(cd "$work" && "$built_cli" date "${photos[@]}") >"$work/dates-built"
cmp -s "$work/dates" "$work/dates-built" || fail "installed and built nandell-cli date disagree"
[ "$(wc -l <"$work/dates")" -eq "$(ls samples/*.jpg | wc -l)" ] || fail "one line per sample"

step "nandell-cli organize, installed, as an unprivileged user"
as_user /usr/bin/nandell-cli organize photos out --quiet >"$work/organize.out" 2>&1 ||
  fail "nandell-cli organize exited $?: $(cat "$work/organize.out")"
while IFS=$'\t' read -r path day; do
  name=${path##*/}
  [ -n "$day" ] || day=$(env ${TZ:+TZ="$TZ"} date -d "@$(stat -c %Y "$work/$path")" +%Y-%m-%d)
  target=$work/out/${day:0:4}年/$day/$name
  cmp -s "$work/$path" "$target" || fail "$path is not in ${target#"$work"/}"
done <"$work/dates"
# Besides the photos, only the run's journal (out/.nandell/journal/, which a walk never enters).
[ "$(find "$work/out" -path "$work/out/.nandell" -prune -o -type f -print | wc -l)" -eq \
  "$(wc -l <"$work/dates")" ] || fail "extra files in out/"
[ "$(find "$work/out/.nandell/journal" -type f -name '*.tsv' | wc -l)" -eq 1 ] ||
  fail "not one journal in out/.nandell/journal/"
[ ! -e "$home/.config/nandell/Config.ini" ] || fail "the command line wrote Config.ini"

step "a second run fails every file and reports them in the per-user folder"
code=0
as_user /usr/bin/nandell-cli organize photos out --quiet >"$work/organize.out" 2>&1 || code=$?
[ "$code" -eq 1 ] || fail "second organize exited $code, not 1"
report=$home/.config/nandell/errorFile.txt
[ "$(grep -c '^复制文件失败: ' "$report")" -eq "$(wc -l <"$work/dates")" ] ||
  fail "errorFile.txt does not list every file"
grep -qF "errorFile.txt: $report" "$work/organize.out" || fail "the report's path is not shown"

step "the installed English catalog"
code=0
as_user /usr/bin/nandell-cli --lang en organize photos out --quiet >"$work/organize.out" 2>&1 ||
  code=$?
[ "$code" -eq 1 ] || fail "organize --lang en exited $code, not 1: $(cat "$work/organize.out")"
grep -q '^Organized [0-9]* files, [0-9]* failed$' "$work/organize.out" ||
  fail "no English summary: $(cat "$work/organize.out")"
[ "$(grep -c '^Could not copy: ' "$report")" -eq "$(wc -l <"$work/dates")" ] ||
  fail "errorFile.txt is not in English"
[ "$(stat -c %a "$home/.config/nandell")" = 700 ] || fail "the per-user folder is not private"

step "root's runs keep their files out of /usr/bin too"
root_home=$work/root-home
mkdir "$root_home"
(cd "$work" && env -i HOME="$root_home" PATH=/usr/bin:/bin LANG=C.UTF-8 \
  /usr/bin/nandell-cli organize photos out --quiet >/dev/null 2>&1) || true
[ -f "$root_home/.config/nandell/errorFile.txt" ] || fail "root's report is not in its home"
[ ! -e /usr/bin/errorFile.txt ] && [ ! -e /usr/bin/Config.ini ] || fail "a file was left in /usr/bin"

step "the window starts, installed, as an unprivileged user"
code=0
as_user QT_QPA_PLATFORM=offscreen timeout 4 /usr/bin/nandell >"$work/window.out" 2>&1 || code=$?
[ "$code" -eq 124 ] || fail "nandell ended early with $code: $(cat "$work/window.out")"

step "purge"
apt-get -o DPkg::Lock::Timeout=600 purge -y -qq nandell >"$work/apt.log" 2>&1 ||
  fail "apt-get purge: $(cat "$work/apt.log")"
for path in "${packaged[@]}"; do
  [ ! -e "$path" ] || fail "$path is left after purge"
done
left=$(find /usr -path /usr/local -prune -o -name '*nandell*' -print)
[ -z "$left" ] || fail "left under /usr after purge: $left"
step "passed"

#!/usr/bin/env bash
# Installs what building and testing Nandell needs on Debian 12 (run as root).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev libcurl4-openssl-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev libxcb1-dev qt6-translations-l10n
  xvfb xauth openbox xdotool x11-utils fonts-wqy-microhei python3 python3-pil xdg-utils
  dpkg-dev lintian appstream desktop-file-utils man-db gettext
  g++-mingw-w64-x86-64 googletest wine wine64 nsis libxxhash-dev libsqlite3-dev
  strace fusefat dosfstools
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when one is missing.
# Sourced by run.sh and test.sh; safe to run again.
set -euo pipefail

SAUNO_PACKAGES=(
  build-essential cmake pkg-config
  libsdl2-dev libx11-dev libxtst-dev libgl1-mesa-dev libglu1-mesa-dev
  libjpeg62-turbo-dev libfreetype-dev libfontconfig-dev
  fonts-dejavu-core fonts-dejavu-extra
  libopenal-dev libgtest-dev
  xvfb xdotool x11-utils x11-apps imagemagick
  libsqlite3-dev sqlite3 sox assimp-testmodels
  dpkg-dev fakeroot lintian e2fsprogs appstream desktop-file-utils
)

missing=()
for p in "${SAUNO_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

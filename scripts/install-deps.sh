#!/usr/bin/env bash
# Installs every Debian package that building, testing and running tarvo need.
# Idempotent: when everything is present it does nothing (no apt-get update).
# usage: install-deps.sh [--ci]
#   --ci leaves out what only developers use: clang for the fuzz preset, and clang-format.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-svg-dev qt6-translations-l10n
  libjpeg62-turbo-dev libjpeg-turbo-progs libimage-exiftool-perl zlib1g-dev
  libgtest-dev libgmock-dev
  fonts-noto-cjk
  xvfb xauth openbox x11-utils xdotool xclip imagemagick
  desktop-file-utils appstream dpkg-dev file man-db groff-base librsvg2-bin
  strace util-linux
)
if [ "${1:-}" != "--ci" ]; then
  packages+=(clang clang-format libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

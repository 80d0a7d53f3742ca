#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# when any is missing.  The one list of what the project needs.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ g++-multilib
  googletest
  gcc-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib
  qt6-base-dev qt6-serialport-dev
  imagemagick
  libfreetype-dev fonts-liberation2 fonts-dejavu-core
  libboost-dev
  chromium
  dosfstools mtools fdisk
)
# The browser test drives Chromium from Node.js (playwright-core from npm).
# A Node.js that brings its own npm counts; Debian's comes in two packages.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  PACKAGES+=(nodejs npm)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

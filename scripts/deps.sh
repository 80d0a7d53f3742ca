#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# when any is missing.  The one list of what the project needs.
#
# Every tree but the ARM one is built for the machine's own architecture, so
# the list is the same on any 64-bit Debian (x86-64 or arm64).
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++
  clang-14 libclang-rt-14-dev
  googletest
  gcc-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib
  libunicorn-dev pkgconf
  qt6-base-dev qt6-serialport-dev
  imagemagick libjpeg-turbo-progs ffmpeg gifsicle
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

sudo=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then
  sudo=sudo
fi
can_root() { [ "$(id -u)" -eq 0 ] || [ -n "$sudo" ]; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing_packages() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

install_packages() {
  [ $# -eq 0 ] && return 0
  echo "installing: $*"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

tell_no_root() {
  {
    echo "this machine lacks what the build needs, and installing it needs root (or sudo):"
    printf '%s\n' "$@"
  } >&2
  exit 1
}

mapfile -t missing < <(missing_packages "${PACKAGES[@]}")
[ ${#missing[@]} -eq 0 ] && exit 0
can_root || tell_no_root "  packages: ${missing[*]}" "run as root:" \
  "  apt-get install --no-install-recommends ${missing[*]}" "then run $0 again."
install_packages "${missing[@]}"

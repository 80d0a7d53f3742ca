#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# when any is missing.  The one list of what the project needs.
#
# The host tree is a 32-bit x86 program.  Where the kernel does not run
# 32-bit programs, they are made to run through user-mode emulation:
# qemu-i386-static registered with binfmt_misc, so that every 32-bit program
# runs unchanged wherever it is started from (ctest, test discovery, a test
# that starts the simulator, ./run.sh).  VELM_EMULATE_I386=1 does the same on
# a machine that runs them natively, to try the fallback there.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ g++-multilib
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

BINFMT=/proc/sys/fs/binfmt_misc
EMULATOR=/usr/bin/qemu-i386-static
# i386 ELF programs (executables and position-independent ones), as the
# kernel's binfmt_misc matches them: magic and mask of the first 20 bytes.
I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

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

# Builds and runs a tiny -m32 program: does this machine run 32-bit programs?
probe32() {
  local dir rc=0
  dir=$(mktemp -d)
  printf 'int main(void) { return 0; }\n' >"$dir/probe.c"
  if ! gcc -m32 "$dir/probe.c" -o "$dir/probe" 2>"$dir/log"; then
    cat "$dir/log" >&2
    rm -rf "$dir"
    echo "cannot build a 32-bit program although g++-multilib is installed" >&2
    exit 1
  fi
  "$dir/probe" 2>/dev/null || rc=$?
  rm -rf "$dir"
  return $rc
}

# Names of the binfmt_misc handlers that take i386 programs (enabled or not).
i386_handlers() {
  local f
  for f in "$BINFMT"/*; do
    case "$(basename "$f")" in register|status) continue ;; esac
    [ -f "$f" ] || continue
    # e_ident class 1, data 1 and e_machine 3 (bytes 4, 5 and 18-19).
    if grep -qE '^magic 7f454c460101.{24}0300' "$f"; then basename "$f"; fi
  done
}

binfmt_mounted() { [ -e "$BINFMT/register" ]; }

# Is an enabled i386 handler in front of the kernel's own ELF loader?
emulated() {
  binfmt_mounted || return 1
  local h
  for h in $(i386_handlers); do
    head -n1 "$BINFMT/$h" | grep -qx enabled && return 0
  done
  return 1
}

tell_no_root() {
  {
    echo "this machine lacks what the build needs, and installing it needs root (or sudo):"
    printf '%s\n' "$@"
  } >&2
  exit 1
}

# 1. The packages.
mapfile -t missing < <(missing_packages "${PACKAGES[@]}")
if [ ${#missing[@]} -gt 0 ] && can_root; then
  install_packages "${missing[@]}"
  missing=()
fi

# 2. 32-bit programs, natively or through emulation (the probe needs
# g++-multilib: without it the packages come first).
steps=()
if ! installed g++-multilib; then
  :
elif [ "${VELM_EMULATE_I386:-0}" != 1 ] && probe32; then
  :
elif emulated; then
  if ! probe32; then
    echo "an i386 handler is registered with binfmt_misc ($(i386_handlers | paste -sd' ')) but a 32-bit program still does not run" >&2
    exit 1
  fi
elif binfmt_mounted && [ -n "$(i386_handlers)" ]; then
  echo "binfmt_misc has a disabled i386 handler ($(i386_handlers | paste -sd' ')): enable it (echo 1 > $BINFMT/NAME) and run $0 again" >&2
  exit 1
else
  installed qemu-user-static || steps+=("apt-get install --no-install-recommends qemu-user-static")
  binfmt_mounted || steps+=("mount -t binfmt_misc binfmt_misc $BINFMT")
  steps+=("printf '%s' ':qemu-i386:M::$I386_MAGIC:$I386_MASK:$EMULATOR:F' > $BINFMT/register")
fi

# Without root: one message with everything that is missing.
if [ ${#missing[@]} -gt 0 ] || { [ ${#steps[@]} -gt 0 ] && ! can_root; }; then
  lines=()
  [ ${#missing[@]} -eq 0 ] || lines+=("  packages: ${missing[*]}")
  [ ${#steps[@]} -eq 0 ] || lines+=("  this kernel does not run 32-bit programs; they can run through $EMULATOR")
  lines+=("run as root:")
  [ ${#missing[@]} -eq 0 ] || lines+=("  apt-get install --no-install-recommends ${missing[*]}")
  for step in "${steps[@]}"; do lines+=("  $step"); done
  lines+=("then run $0 again.")
  tell_no_root "${lines[@]}"
fi

if [ ${#steps[@]} -gt 0 ]; then
  installed qemu-user-static || install_packages qemu-user-static
  if ! binfmt_mounted && ! $sudo mount -t binfmt_misc binfmt_misc "$BINFMT"; then
    echo "this kernel does not run 32-bit programs, and binfmt_misc cannot be mounted here to run them through $EMULATOR" >&2
    exit 1
  fi
  # Flag F: the kernel opens the interpreter now, so it is found from any
  # mount namespace and any chroot that the program is later started in.
  if ! printf '%s' ":qemu-i386:M::$I386_MAGIC:$I386_MASK:$EMULATOR:F" | $sudo tee "$BINFMT/register" >/dev/null; then
    echo "this kernel does not run 32-bit programs, and $EMULATOR cannot be registered with binfmt_misc here" >&2
    exit 1
  fi
  if ! probe32; then
    echo "registered $EMULATOR for i386 programs, but a 32-bit program still does not run" >&2
    exit 1
  fi
fi
if emulated; then
  echo "32-bit programs run through user-mode emulation on this machine (binfmt_misc: $(i386_handlers | paste -sd' '))"
fi

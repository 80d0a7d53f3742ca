#!/usr/bin/env bash
# Builds every tree and runs every test: the host and pc suites, the host
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer, and
# every fuzz target for a short time.
set -euo pipefail
cd "$(dirname "$0")"
deps=$(scripts/deps.sh)
[ -z "$deps" ] || echo "$deps"
case "$deps" in
  *"user-mode emulation"*)
    # The sanitizer's shadow memory lies where the emulator puts a 32-bit
    # program's stack and libraries (its tests cannot even be listed).
    echo "32-bit programs run through user-mode emulation here, where 32-bit AddressSanitizer cannot run: the sanitizer run of the host suite is skipped"
    sanitize=
    ;;
  *) sanitize=sanitize ;;
esac
scripts/build.sh host pc arm emu $sanitize fuzz
ctest --preset host
ctest --preset pc
ctest --preset emu
[ -z "$sanitize" ] || ctest --preset sanitize
scripts/fuzz.sh

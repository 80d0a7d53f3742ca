#!/usr/bin/env bash
# Builds every tree and runs every test: the host and pc suites, the board
# images against the host build, the host suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz target for
# a short time.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh host pc arm emu sanitize fuzz
ctest --preset host
ctest --preset pc
ctest --preset emu
ctest --preset sanitize
scripts/fuzz.sh

#!/usr/bin/env bash
# Builds every tree and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh host pc arm emu
ctest --preset host
ctest --preset pc
ctest --preset emu

#!/usr/bin/env bash
# Configures (once) and builds the given trees: host, pc, arm, emu, sanitize,
# fuzz (the emu tree runs the arm tree's images and compares them with the
# host tree's programs: build those first).
set -euo pipefail
cd "$(dirname "$0")/.."
for tree in "$@"; do
  if [ ! -f "build/$tree/build.ninja" ]; then
    cmake --preset "$tree" >/dev/null
  fi
  cmake --build --preset "$tree" -- -j"$(nproc)"
done

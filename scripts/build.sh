#!/usr/bin/env bash
# Configures (once) and builds the given trees: host, pc, arm, sanitize, fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
for tree in "$@"; do
  if [ ! -f "build/$tree/build.ninja" ]; then
    cmake --preset "$tree" >/dev/null
  fi
  cmake --build --preset "$tree" -- -j"$(nproc)"
done

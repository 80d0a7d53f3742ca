#!/usr/bin/env bash
# Runs the reference build velm5plus-wvga on the simulated board.
# Options are passed on (see --help), e.g. ./run.sh --speed max
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh host
exec build/host/bin/velm5plus-wvga "$@"

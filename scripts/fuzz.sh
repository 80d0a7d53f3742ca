#!/usr/bin/env bash
# Runs the fuzz targets of the fuzz tree (building it when it is stale).
#
#   scripts/fuzz.sh --list                  the targets, one a line
#   scripts/fuzz.sh TARGET SECONDS [ARG...] one target for SECONDS (further
#                                           arguments go to libFuzzer)
#   scripts/fuzz.sh                         every target for a short time
#                                           ($VELM_FUZZ_SECONDS, 20 s)
#
# Each target starts from its seed corpus (build/fuzz/seeds/TARGET) and the
# inputs of its earlier runs (build/fuzz/corpus/TARGET), where new inputs
# go.  A finding ends the run with the reproducer's path and status 1;
# build/fuzz/findings/TARGET holds the reproducers, build/fuzz/logs the
# runs' output.  Replay one with: build/fuzz/bin/TARGET REPRODUCER
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build/fuzz

build() {
  scripts/deps.sh >/dev/null
  scripts/build.sh fuzz >/dev/null
}

targets() {
  cat "$tree/fuzz_targets.txt"
}

# The largest input of each target: a card image or a memory image needs
# room, a command run or a font list does not.
max_len() {
  case "$1" in
    fuzz_card) echo 262144 ;;
    fuzz_image | fuzz_dravik_bin) echo 131072 ;;
    fuzz_command | fuzz_dravik_fonts) echo 4096 ;;
    *) echo 65536 ;;
  esac
}

dict() {
  case "$1" in
    fuzz_command | fuzz_image | fuzz_dravik_macros) echo "-dict=tests/fuzz/command.dict" ;;
  esac
}

# Runs one target; prints its figures, or the finding and its reproducer.
run() {
  local target=$1 seconds=$2
  shift 2
  local corpus=$tree/corpus/$target findings=$tree/findings/$target log=$tree/logs/$target.log
  mkdir -p "$corpus" "$findings" "$tree/logs"
  touch "$log.start"
  local status=0 before after
  # Reproducers: crashes, hangs, running out of memory (slow inputs are no
  # finding).
  reproducers() { find "$findings" -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) "$@"; }
  before=$(reproducers | wc -l)
  # shellcheck disable=SC2046
  "$tree/bin/$target" "$corpus" "$tree/seeds/$target" -max_total_time="$seconds" \
    -max_len="$(max_len "$target")" $(dict "$target") -timeout=120 -rss_limit_mb=3072 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$@" >"$log" 2>&1 || status=$?
  after=$(reproducers | wc -l)
  # The figures: libFuzzer's final statistics, or (with -fork) its last
  # status line.
  local runs rate cov
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  [ -n "$runs" ] || runs=$(grep -ao '^#[0-9]*' "$log" | tail -n1 | tr -d '#')
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  [ -n "$rate" ] || rate=$(grep -ao 'exec/s:\? [0-9]*' "$log" | tail -n1 | cut -d' ' -f2)
  cov=$(grep -ao 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2)
  local stats="${runs:-?} inputs, ${rate:-?} exec/s, cov: ${cov:-?}"
  if [ "$status" -ne 0 ] || [ "$after" -gt "$before" ]; then
    echo "$target: FINDING after $stats; log: $log; reproducers:"
    reproducers -newer "$log.start" | sed 's/^/  /'
    grep -a -m3 -E 'ERROR: AddressSanitizer|runtime error|FINDING|ERROR: libFuzzer|deadly signal' "$log" || true
    return 1
  fi
  echo "$target: $stats, no finding"
}

case "${1:-}" in
  --list)
    build
    targets
    ;;
  "")
    build
    failed=0
    for t in $(targets); do
      run "$t" "${VELM_FUZZ_SECONDS:-20}" || failed=1
    done
    exit "$failed"
    ;;
  *)
    [ $# -ge 2 ] || { echo "usage: $0 --list | TARGET SECONDS [LIBFUZZER-ARG...] | (no arguments)" >&2; exit 2; }
    build
    targets | grep -qx "$1" || { echo "no fuzz target $1 (scripts/fuzz.sh --list)" >&2; exit 2; }
    run "$@"
    ;;
esac

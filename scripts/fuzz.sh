#!/usr/bin/env bash
# Runs every libFuzzer program of a QUADRILLO_FUZZ build for a bounded time
# (FUZZ_SECONDS, 30 by default), two at a time, each from the checked-in
# corpus of tests/fuzz/corpus/<name> (new inputs go to a working copy in the
# build folder, not into the source tree). A crash, leak, hang or broken
# property fails the run and leaves the input in <build>/fuzz/crashes: copy it
# into tests/fuzz/regressions/<name>/ so that every build replays it.
# usage: fuzz.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:?usage: fuzz.sh BUILD_DIR}
seconds=${FUZZ_SECONDS:-30}
work="$build/fuzz"
mkdir -p "$work/crashes"

targets=()
for program in "$build"/tests/fuzz/fuzz-*; do
  name=$(basename "$program")
  case "$name" in fuzz-replay-*) continue ;; esac
  targets+=("${name#fuzz-}")
done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no fuzz programs in $build/tests/fuzz"; exit 1; }

run_one() {
  local name=$1
  mkdir -p "$work/corpus/$name"
  if "$build/tests/fuzz/fuzz-$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/crashes/$name-" \
      "$work/corpus/$name" "$root/tests/fuzz/corpus/$name" > "$work/$name.log" 2>&1; then
    local runs
    runs=$(grep -m1 'stat::number_of_executed_units' "$work/$name.log" | awk '{print $2}')
    echo "fuzz: $name: ${runs:-?} inputs in ${seconds} s, no failure"
  else
    echo "fuzz: $name FAILED (log: $work/$name.log)"
    grep -E 'ERROR|SUMMARY|fuzz property|Test unit written' "$work/$name.log" | head -8
    return 1
  fi
}

status=0
pids=()
names=()
for name in "${targets[@]}"; do
  run_one "$name" &
  pids+=($!)
  names+=("$name")
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status

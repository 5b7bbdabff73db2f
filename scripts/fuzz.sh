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
export FUZZ_SECONDS=${FUZZ_SECONDS:-30} root work="$build/fuzz" build
mkdir -p "$work/crashes"

run_one() {  # run_one NAME
  local name=$1 log="$work/$1.log"
  mkdir -p "$work/corpus/$name"
  if "$build/tests/fuzz/fuzz-$name" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/crashes/$name-" \
      "$work/corpus/$name" "$root/tests/fuzz/corpus/$name" > "$log" 2>&1; then
    echo "fuzz: $name: $(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}') inputs in $FUZZ_SECONDS s, no failure"
  else
    echo "fuzz: $name FAILED (log: $log)"
    grep -E 'ERROR|SUMMARY|fuzz property|Test unit written' "$log" | head -8
    return 1
  fi
}
export -f run_one

names=$(cd "$build/tests/fuzz" && ls fuzz-* 2>/dev/null | grep -v '^fuzz-replay-' | sed 's/^fuzz-//' || true)
[ -n "$names" ] || { echo "fuzz: no fuzz programs in $build/tests/fuzz"; exit 1; }
echo "$names" | xargs -P 2 -I{} bash -c 'run_one {}'

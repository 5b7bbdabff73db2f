#!/usr/bin/env bash
# Builds and runs every benchmark and prints one table: the blitter, sound and
# whole-frame benchmarks (bench/*_bench.cpp, each figure beside a baseline
# measured in the same process), then the running game in a private X server
# and audio sink (started here, stopped by process id on exit) over 20 s of
# the title menu and 20 s of play. Results stay in <build>/bench-results.
# Not part of the test suite. Options: QUADRILLO_BUILD_DIR (default build/),
# BENCH_REPETITIONS (5), BENCH_SECONDS (20).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUADRILLO_BUILD_DIR:-$root/build}
repetitions=${BENCH_REPETITIONS:-5}
seconds=${BENCH_SECONDS:-20}

"$root/scripts/bootstrap.sh"
cmake -S "$root" -B "$build" -DQUADRILLO_BENCH=ON > /dev/null
benches=()
for source in "$root"/bench/*_bench.cpp; do benches+=("$(basename "$source" .cpp)"); done
cmake --build "$build" -j"$(nproc)" --target "${benches[@]}" quadrillo > /dev/null

results="$build/bench-results"
rm -rf "$results"
mkdir -p "$results"
for bench in "${benches[@]}"; do
  echo "bench: $bench" >&2
  "$build/bench/$bench" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/${bench%_bench}.json" --benchmark_out_format=json \
    > "$results/${bench%_bench}.txt" 2>&1
done

# Without an X server or audio sink the table still comes, without the
# running game's rows.
source "$root/scripts/desktop.sh"
if desktop_start_x >&2 && desktop_start_sound >&2; then
  echo "bench: the running game, ${seconds} s of title menu and ${seconds} s of play" >&2
  PYTHONPATH="$root/tests/support" python3 "$root/bench/running_game.py" "$build/game/quadrillo" "$root/data" "$seconds" \
    > "$results/running.json" || rm -f "$results/running.json"
else
  echo "bench: no private X server or audio sink: the running game is not measured" >&2
fi

python3 "$root/bench/bench_table.py" "$results" | tee "$results/table.md"

#!/usr/bin/env bash
# Builds the Windows version and tests it under Wine:
#   1. every unit test program of tests/ (quadrillo_unit_test targets), run
#      under Wine from its build folder, one process per case;
#   2. quadrillo-replay.exe on each golden key script of tests/game/golden:
#      frames.txt, ports.txt and audio.wav must equal the Linux build's byte
#      for byte (the machine is deterministic on every host);
#   3. the package of tools/windows/package.sh, unpacked, its quadrillo.exe
#      run in a private X server (tests/windows/window_test.py): its window,
#      the intro, the play screen after SPACE, the close message, and the
#      music in a private PulseAudio sink.
#
# Installs what is missing (tools/windows/bootstrap.sh), builds the Windows
# libraries once (tools/windows/deps.sh), then builds into
# $QUADRILLO_WINDOWS_BUILD_DIR (default build-windows/). The Linux replay tool
# comes from $QUADRILLO_BUILD_DIR (default build/). Screenshots and
# outputs go to $QUADRILLO_WINDOWS_BUILD_DIR/test-output. Parallel jobs:
# $QUADRILLO_JOBS (default 2).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here=$root/tools/windows
build=${QUADRILLO_WINDOWS_BUILD_DIR:-$root/build-windows}
linux_build=${QUADRILLO_BUILD_DIR:-$root/build}
jobs=${QUADRILLO_JOBS:-2}
cache=${QUADRILLO_WINDOWS_CACHE:-$HOME/.cache/quadrillo-windows}
export QUADRILLO_WINDOWS_CACHE=$cache
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
results=$build/test-output

"$here/bootstrap.sh"
"$root/scripts/bootstrap.sh"
"$here/deps.sh" > /dev/null

start=$SECONDS
(cd "$root" && cmake --preset windows -B "$build" > /dev/null)
mapfile -t unit_targets < <(grep -ho 'quadrillo_unit_test([A-Za-z0-9_]*' "$root"/tests/*/CMakeLists.txt |
                            sed 's/.*(//' | sort -u)
cmake --build "$build" -j "$jobs" --target quadrillo quadrillo-replay "${unit_targets[@]}"
[ -f "$linux_build/CMakeCache.txt" ] || cmake -S "$root" -B "$linux_build" > /dev/null
cmake --build "$linux_build" -j "$jobs" --target quadrillo-replay
echo "windows: built in $((SECONDS - start)) s"

rm -rf "$results"
mkdir -p "$results"
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "PASS $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }

# Wine keeps a server per prefix; it is ended on exit and before the window
# test, which must not meet one that talks to another (or no) X server.
stop_wine() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
stop_wine

# 1. Unit tests.
for target in "${unit_targets[@]}"; do
  exe=$(find "$build/tests" -name "$target.exe" | head -n 1)
  if [ -z "$exe" ]; then fail "$target (not built)"; continue; fi
  log=$results/$target.log
  begin=$SECONDS
  # One process per case, as ctest runs them on Linux: the game's cases
  # start the real game from program start.
  cases=$(cd "$(dirname "$exe")" && "$here/wine.sh" "./$target.exe" --gtest_list_tests 2>/dev/null |
          tr -d '\r' | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
  failed_cases=""
  : > "$log"
  for case in $cases; do
    (cd "$(dirname "$exe")" && timeout 600 "$here/wine.sh" "./$target.exe" --gtest_filter="$case" >> "$log" 2>&1) ||
      failed_cases="$failed_cases $case"
  done
  if [ -n "$cases" ] && [ -z "$failed_cases" ]; then
    pass "$target: $(echo "$cases" | wc -w) cases in $((SECONDS - begin)) s"
  else
    fail "$target:${failed_cases:- no cases listed} (log: $log)"
  fi
done

# 2. Replays: the Windows build against the Linux build.
for keys in "$root"/tests/game/golden/*/keys.txt; do
  name=$(basename "$(dirname "$keys")")
  frames=$(wc -l < "$keys")
  "$linux_build/tools/replay/quadrillo-replay" --data "$root/data" --keys "$keys" \
    --frames "$frames" --out "$results/replay-$name-linux" > /dev/null 2>&1 || true
  "$here/wine.sh" "$build/tools/replay/quadrillo-replay.exe" --data "$root/data" --keys "$keys" \
    --frames "$frames" --out "$results/replay-$name-windows" > /dev/null 2>&1 || true
  same=1
  for file in frames.txt ports.txt audio.wav; do
    if [ ! -s "$results/replay-$name-linux/$file" ] ||
       ! cmp -s "$results/replay-$name-linux/$file" "$results/replay-$name-windows/$file"; then
      same=0
      fail "replay $name: $file differs from the Linux build's (or is missing)"
    fi
  done
  [ $same = 1 ] && pass "replay $name: $frames frames, frames.txt, ports.txt and audio.wav identical to Linux"
done

# 3. The game's window, from the unpacked package, in a private X server.
zip_path=$("$here/package.sh" | tail -n 1)
unpacked=$results/unpacked
mkdir -p "$unpacked"
(cd "$unpacked" && unzip -q "$zip_path")
stop_wine
source "$root/scripts/desktop.sh"
trap 'stop_wine; desktop_stop' EXIT
desktop_start_x
desktop_start_sound
# Debian's python3 has Pillow and python-xlib (scripts/bootstrap.sh), also
# where another python3 comes first on PATH.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if PYTHONPATH="$root/tests/support" "$python" "$root/tests/windows/window_test.py" "$here/wine.sh" "$unpacked/quadrillo/quadrillo.exe" \
     "$linux_build/tools/replay/quadrillo-replay" "$unpacked/quadrillo" \
     "$results/window" 2>&1 | tee "$results/window.log"; then
  pass "window: $(basename "$zip_path") unpacked: title, intro, play screen after SPACE, close, music (screenshots in $results/window)"
else
  fail "window (log: $results/window.log)"
fi

echo "windows: $((SECONDS - start)) s in all"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

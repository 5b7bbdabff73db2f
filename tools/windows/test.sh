#!/usr/bin/env bash
# Builds the Windows version and tests it under Wine:
#   1. the unit tests, through ctest with Wine as the cross-compiling
#      emulator (tools/windows/mingw-w64-x86_64.cmake): a process per case;
#   2. orvalin-hello-replay.exe and quadrillo-replay.exe on the golden key
#      scripts: frames, port writes and audio are the golden ones, byte for
#      byte (tests/game/golden_replay.sh);
#   3. the package of tools/windows/package.sh, unpacked, its quadrillo.exe
#      in a private X server and audio sink (tests/windows/window_test.py).
# Installs what is missing (bootstrap.sh), builds the Windows libraries once
# (deps.sh), then builds into $QUADRILLO_WINDOWS_BUILD_DIR (default
# build-windows/); logs and outputs go to its test-output/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here=$root/tools/windows
build=${QUADRILLO_WINDOWS_BUILD_DIR:-$root/build-windows}
out=$build/test-output
export QUADRILLO_WINDOWS_CACHE=${QUADRILLO_WINDOWS_CACHE:-$HOME/.cache/quadrillo-windows}
export WINEPREFIX=${WINEPREFIX:-$QUADRILLO_WINDOWS_CACHE/wine}
"$here/bootstrap.sh"
"$root/scripts/bootstrap.sh"
"$here/deps.sh" > /dev/null
cd "$root"
cmake --preset windows -B "$build" > /dev/null
cmake --build "$build" -j "${QUADRILLO_JOBS:-2}" > /dev/null
rm -rf "$out" && mkdir -p "$out"
unzip -q -d "$out" "$("$here/package.sh" | tail -n 1)"
failed=0
check() { if "${@:2}" > "$out/$1.log" 2>&1; then echo "PASS $1"; else echo "FAIL $1"; failed=1; fi; }
# A Wine server is per prefix: none may outlive the test or meet another X server.
stop_wine() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
stop_wine

check unit-tests ctest --test-dir "$build" -L unit -R '\.' -j "${QUADRILLO_JOBS:-2}" --output-on-failure
for program in orvalin-hello-replay:tests/sdk/golden/hello 'quadrillo-replay:tests/game/golden/*/'; do
  printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$here/wine.sh" "$(find "$build" -name "${program%:*}.exe")" > "$out/replay"
  chmod +x "$out/replay"
  for golden in ${program#*:}; do
    # The no-music golden runs without game.psg, as in tests/game/CMakeLists.txt.
    from=data
    [[ $golden != */nomusic/ ]] || from=$build/tests/game/data-without-game-music
    check "golden-$(basename "$golden")" tests/game/golden_replay.sh "$out/replay" "$from" "$golden"
  done
done
printf '\n%.0s' {1..59} > "$out/keys" && echo SPACE >> "$out/keys"  # SPACE in frame 60
"$out/replay" --data data --keys "$out/keys" --frames 600 --out "$out/new-game" --png 61 > /dev/null
stop_wine
source scripts/desktop.sh
trap 'stop_wine; desktop_stop' EXIT
desktop_start_x
desktop_start_sound
check window env PYTHONPATH=tests/support /usr/bin/python3 tests/windows/window_test.py \
  "$here/wine.sh" "$out/quadrillo/quadrillo.exe" "$out/quadrillo" "$out/new-game"
[ $failed = 0 ]

#!/usr/bin/env bash
# Builds the Windows version and tests it under Wine:
#   1. the unit tests, through ctest with Wine as the cross-compiling
#      emulator (tools/windows/mingw-w64-x86_64.cmake): a process per case;
#   2. orvalin-hello-replay.exe and quadrillo-replay.exe on the golden key
#      scripts: frames, port writes and audio are the golden ones, byte for
#      byte (the golden tests of ctest, each twin run with --golden);
#   3. the package of tools/windows/package.sh, unpacked, its quadrillo.exe
#      in a private X server and audio sink (tests/windows/window_test.py);
#   4. the example built out of tree against the installed Windows SDK, as a
#      maker's program: its zip is the same from a new link, its twin gives
#      the golden run on the zip's data, and the zip's orvalin-hello.exe opens
#      its window (tests/windows/hello_window_test.py).
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
wrap() { printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$here/wine.sh" "$2" > "$1" && chmod +x "$1"; }  # FILE EXE

# The golden replays, as the Linux build runs them: the toolchain's
# emulator (Wine) runs each twin.
check goldens ctest --test-dir "$build" -L golden -j "${QUADRILLO_JOBS:-2}" --output-on-failure
wrap "$out/replay" "$(find "$build" -name quadrillo-replay.exe)"
printf '\n%.0s' {1..59} > "$out/keys" && echo SPACE >> "$out/keys"  # SPACE in frame 60
"$out/replay" --data data --keys "$out/keys" --frames 600 --out "$out/new-game" --png 61 > /dev/null

# The example as a maker builds it, from the installed SDK alone with the
# toolchain file it carries. Its zip, made again from a new link a second
# later, is the same; the twin plays the golden run on the zip's data files.
hello=$out/hello zip=$out/hello/orvalin-hello-windows-x86_64.zip
cmake --install "$build" --component sdk --prefix "$out/sdk" > /dev/null
cmake -S "$out/sdk/share/doc/liborvalin-dev/examples/hello" -B "$hello" \
  -DCMAKE_TOOLCHAIN_FILE="$out/sdk/lib/cmake/Orvalin/mingw-w64-x86_64.cmake" > /dev/null
cmake --build "$hello" -j "${QUADRILLO_JOBS:-2}" --target orvalin-hello-replay orvalin-hello-zip > /dev/null
mv "$zip" "$out/hello.zip" && rm "$hello/orvalin-hello.exe" && sleep 1
cmake --build "$hello" --target orvalin-hello-zip > /dev/null
check hello-zip-same cmp "$zip" "$out/hello.zip"
unzip -q -d "$out" "$zip"
wrap "$out/hello-replay" "$hello/orvalin-hello-replay.exe"
check golden-hello-sdk "$out/hello-replay" --data "$out/orvalin-hello" --keys examples/hello/golden/keys.txt \
  --out "$out/hello-sdk" --golden examples/hello/golden
stop_wine
source scripts/desktop.sh
trap 'stop_wine; desktop_stop' EXIT
desktop_start_x
desktop_start_sound
check window env PYTHONPATH=tests/support /usr/bin/python3 tests/windows/window_test.py \
  "$here/wine.sh" "$out/quadrillo/quadrillo.exe" "$out/quadrillo" "$out/new-game"
check hello-window env PYTHONPATH=tests/support /usr/bin/python3 tests/windows/hello_window_test.py \
  "$here/wine.sh" "$out/orvalin-hello"
[ $failed = 0 ]

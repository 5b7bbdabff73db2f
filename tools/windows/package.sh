#!/usr/bin/env bash
# Builds the Windows package: a zip holding a folder "quadrillo" with
# quadrillo.exe (64-bit, statically linked: it needs no DLL beyond Windows'
# own), the seven data files beside it (the game reads them from its working
# folder) and CREDITS.txt.
#
# The same sources give the same zip, byte for byte.
#
# Installs what is missing (tools/windows/bootstrap.sh), builds the Windows
# libraries once (tools/windows/deps.sh, cached in ~/.cache/quadrillo-windows
# or $QUADRILLO_WINDOWS_CACHE), cross-compiles with the "windows" preset into
# $QUADRILLO_WINDOWS_BUILD_DIR (default build-windows/) and prints the path of
# the zip, which is written there.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here=$root/tools/windows
build=${QUADRILLO_WINDOWS_BUILD_DIR:-$root/build-windows}
jobs=${QUADRILLO_JOBS:-2}

"$here/bootstrap.sh"
"$here/deps.sh" > /dev/null
(cd "$root" && cmake --preset windows -B "$build" > /dev/null)
# quadrillo-zip (game/CMakeLists.txt) packs it as a maker's program is
# packed, through the SDK's orvalin_add_windows_zip.
cmake --build "$build" -j "$jobs" --target quadrillo-zip
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "$build/quadrillo-${version:-0}-windows-x86_64.zip"

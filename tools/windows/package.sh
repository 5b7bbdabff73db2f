#!/usr/bin/env bash
# Builds the Windows package: a zip holding a folder "quadrillo" with
# quadrillo.exe (64-bit, statically linked: it needs no DLL beyond Windows'
# own), the seven data files beside it (the game reads them from its working
# folder) and CREDITS.txt.
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
data_files=(tahoma.fnt logo.raw Quadrillo.raw beach.raw menu1.psg menu2.psg game.psg)

"$here/bootstrap.sh"
"$here/deps.sh" > /dev/null
(cd "$root" && cmake --preset windows -B "$build" > /dev/null)
cmake --build "$build" -j "$jobs" --target quadrillo

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
stage=$build/package/quadrillo
rm -rf "$build/package"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/quadrillo.exe" "$build/game/quadrillo.exe"
# strip stamps the PE header with the time of day and a checksum over it;
# zero both (the COFF header follows the "PE\0\0" signature whose offset is at
# 0x3C: the stamp is 8 bytes in, the optional header's checksum 24 + 64).
python3 - "$stage/quadrillo.exe" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    f.seek(0x3C)
    pe = struct.unpack("<I", f.read(4))[0]
    f.seek(pe)
    assert f.read(4) == b"PE\0\0"
    f.seek(pe + 8)
    f.write(b"\0\0\0\0")
    f.seek(pe + 24 + 64)
    f.write(b"\0\0\0\0")
PY
for f in "${data_files[@]}"; do
  [ -f "$root/data/$f" ] || { echo "package: data/$f is missing" >&2; exit 1; }
  cp "$root/data/$f" "$stage/"
done
# Windows' Notepad wants CR LF line ends.
sed 's/$/\r/' "$root/data/CREDITS" > "$stage/CREDITS.txt"

zip_path=$build/quadrillo-${version:-0}-windows-x86_64.zip
rm -f "$zip_path"
# Fixed times and order: the same sources give the same zip.
find "$stage" -exec touch -d 2000-01-01T00:00:00Z {} +
(cd "$build/package" && find quadrillo -type f | LC_ALL=C sort | TZ=UTC zip -X -q "$zip_path" -@)
echo "$zip_path"

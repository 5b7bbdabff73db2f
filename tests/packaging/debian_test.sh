#!/usr/bin/env bash
# The Debian package: CPack builds it, lintian finds no errors in it, and a
# tool extracted from it renders the game's own music. (The tools' refusals
# are checked in tests/data/tools_cli_test.py.)
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/quadrillo-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
lintian --no-tag-display-limit "$deb" > "$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then echo "FAIL: lintian reports errors"; exit 1; fi

dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/orvalin-psg2wav" "$work/root/usr/share/games/orvalin-quadrillo/menu1.psg" "$work/menu1.wav"
size=$(stat -c %s "$work/menu1.wav")
# menu1 plays about ten seconds: 44100 samples a second, two bytes each.
if [ "$size" -lt 400000 ]; then echo "FAIL: rendering is only $size bytes"; exit 1; fi
echo "installed orvalin-psg2wav rendered menu1.psg: $size bytes"

#!/usr/bin/env bash
# The Debian package: CPack builds it, lintian finds no errors in it, and the
# tools extracted from it work on the game's own music and refuse bad input
# with one line on standard error and a non-zero status.
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/quadrillo-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"

lintian --no-tag-display-limit "$deb" > "$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then echo "FAIL: lintian reports errors"; exit 1; fi

dpkg-deb -x "$deb" "$work/root"
bin="$work/root/usr/bin"
tunes="$work/root/usr/share/games/orvalin-quadrillo"
"$bin/orvalin-psg2wav" "$tunes/menu1.psg" "$work/menu1.wav"
size=$(stat -c %s "$work/menu1.wav")
# menu1 plays about ten seconds: 44100 samples a second, two bytes each.
if [ "$size" -lt 400000 ]; then echo "FAIL: rendering is only $size bytes"; exit 1; fi
echo "installed orvalin-psg2wav rendered menu1.psg: $size bytes"

fails=0
expect_refusal() {  # expect_refusal WHAT COMMAND...
  local what=$1; shift
  local status=0
  "$@" > "$work/out.txt" 2> "$work/err.txt" || status=$?
  local lines
  lines=$(wc -l < "$work/err.txt")
  if [ "$status" -eq 0 ] || [ "$lines" -ne 1 ]; then
    echo "FAIL: $what: status $status, $lines lines on stderr"; cat "$work/err.txt"; fails=1
  else
    echo "ok: $what: $(cat "$work/err.txt")"
  fi
}
mkdir "$work/a-folder"
for tool in orvalin-psg2wav orvalin-musicc orvalin-fontbank orvalin-picture quadrillo-replay; do
  "$bin/$tool" --help > /dev/null || { echo "FAIL: $tool --help"; fails=1; }
  expect_refusal "$tool with an unknown option" "$bin/$tool" --no-such-option
done
expect_refusal "psg2wav without arguments" "$bin/orvalin-psg2wav"
expect_refusal "psg2wav on a missing file" "$bin/orvalin-psg2wav" "$work/missing.psg" "$work/x.wav"
expect_refusal "psg2wav on a folder" "$bin/orvalin-psg2wav" "$work/a-folder" "$work/x.wav"
before=$(sha256sum < "$tunes/menu1.psg")
expect_refusal "psg2wav writing over its input" "$bin/orvalin-psg2wav" "$tunes/menu1.psg" "$tunes/menu1.psg"
[ "$(sha256sum < "$tunes/menu1.psg")" = "$before" ] || { echo "FAIL: the input was changed"; fails=1; }
expect_refusal "musicc on a missing score" "$bin/orvalin-musicc" "$work/missing.txt" --out "$work/x.psg"
expect_refusal "musicc on a folder" "$bin/orvalin-musicc" "$work/a-folder" --out "$work/x.psg"
expect_refusal "fontbank on a missing font" "$bin/orvalin-fontbank" --font "$work/missing.ttf" --size 18 --out "$work/x.fnt"
expect_refusal "picture with an unknown picture" "$bin/orvalin-picture" --picture moon --out "$work/x.raw"
expect_refusal "replay on missing data" "$bin/quadrillo-replay" --data "$work/missing" --keys "$work/missing.keys" --frames 5 --out "$work/replay"
exit $fails

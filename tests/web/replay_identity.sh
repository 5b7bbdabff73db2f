#!/usr/bin/env bash
# The replay harness compiled to wasm, run by node, must write frames.txt,
# ports.txt and audio.wav byte-identical to the native harness's: for every
# golden key script (the game's and the example's) and for 3000 frames of
# mashed keys (a fixed pseudo-random choice of keys in every frame, DOWN held
# often and ESC rarely, so that games are played to their end).
# Usage: replay_identity.sh [NATIVE_BUILD] [WEB_BUILD]   (build/, build-web/)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native=${1:-$root/build} web=${2:-$root/build-web}
work=$(mktemp -d /tmp/orvalin-web-replay.XXXXXX)
trap 'rm -rf "$work"' EXIT
awk 'BEGIN { s = 1; split("LEFT RIGHT UP DOWN SPACE ESC X ENTER", k)
  for (f = 0; f < 3000; f++) { line = ""
    for (i = 1; i <= 8; i++) { s = (s * 75 + 74) % 65537; if (s % (k[i] == "ESC" ? 293 : k[i] == "DOWN" ? 2 : 7) == 0) line = line " " k[i] }
    print line } }' > "$work/mashed.keys"

passed=0 failed=0
same() {  # NAME PROGRAM KEYS FRAMES
  local args=(--data "$root/data" --keys "$3" --frames "$4" --out)
  "$native/$2" "${args[@]}" "$work/$1-native" > /dev/null
  node --no-experimental-fetch "$web/$2.js" "${args[@]}" "$work/$1-web" > /dev/null
  # The out folders hold frames.txt, ports.txt and audio.wav.
  if diff -rq "$work/$1-native" "$work/$1-web"; then
    echo "ok   $1: $4 frames, the same frames.txt, ports.txt and audio.wav"; passed=$((passed + 1))
  else
    echo "FAIL $1"; failed=$((failed + 1))
  fi
}
for golden in "$root"/tests/game/golden/*/keys.txt; do
  name=$(basename "$(dirname "$golden")")
  same "$name" tools/replay/quadrillo-replay "$golden" "$(wc -l < "$golden")"
done
same hello examples/hello/orvalin-hello-replay "$root/examples/hello/golden/keys.txt" \
  "$(wc -l < "$root/examples/hello/golden/keys.txt")"
same mashed tools/replay/quadrillo-replay "$work/mashed.keys" 3000
echo "web replay: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The SDK of a browser build, as a new maker meets it: installed into a fresh
# prefix, the installed example configured with emcmake and built in a plain
# shell (no NODE_PATH, whatever node comes first), gives the example's pages
# and its node twin, and the twin replays the example's golden key script
# byte for byte.
# Usage: web_out_of_tree.sh WEB_BUILD_DIR GOLDEN_DIR
set -euo pipefail
build=$1 golden=$2
work=$(mktemp -d /tmp/orvalin-web-sdk.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$work/prefix" --component sdk > /dev/null
example=$work/prefix/share/doc/liborvalin-dev/examples/hello
cp -r "$example" "$work/hello"
env -u NODE_PATH emcmake cmake -S "$work/hello" -B "$work/out" -DCMAKE_BUILD_TYPE=Release \
  -DOrvalin_DIR="$work/prefix/lib/cmake/Orvalin" > "$work/log" 2>&1 || fail "configure: $(tail -5 "$work/log")"
env -u NODE_PATH cmake --build "$work/out" -j2 > "$work/log" 2>&1 || fail "build: $(tail -5 "$work/log")"
for page in site/hello.html site/hello.js site/hello.wasm site/hello.data site/single/hello.html; do
  [ -s "$work/out/$page" ] || fail "no $page"
done
node --no-experimental-fetch "$work/out/orvalin-hello-replay.js" --data "$work/hello/data" \
  --keys "$golden/keys.txt" --out "$work/run" > /dev/null
(cd "$work/run" && sha256sum audio.wav > audio.sha256)
for f in frames.txt ports.txt audio.sha256; do
  cmp "$golden/$f" "$work/run/$f" || fail "the node twin's $f is not the golden one"
done
echo "PASS: the installed example built in a plain shell; its node twin gives the golden run"

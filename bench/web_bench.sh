#!/usr/bin/env bash
# What the machine costs in a browser: the game's page size (its .js, .wasm
# and .data, raw and gzip'd, and the single file); the replay harness as wasm
# under node against the native harness, on the golden game and on a long
# run, timed side by side (the median of BENCH_REPETITIONS, default 5); and
# in headless Chromium, the main thread's work per frame as the page's own
# performance.now() measures it around the machine's work between rests,
# over 10 s of the title screens and 10 s of play, and the time from the
# click to the first frame and to the title menu. Prints one Markdown table.
# Not part of the test suite. Builds build/ and build-web/ as needed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=${QUADRILLO_BUILD_DIR:-$root/build}
web=${QUADRILLO_WEB_BUILD_DIR:-$root/build-web}
repetitions=${BENCH_REPETITIONS:-5}

"$root/scripts/bootstrap.sh" test
cmake -S "$root" -B "$native" > /dev/null
cmake --build "$native" -j2 --target quadrillo-replay > /dev/null
QUADRILLO_WEB_BUILD_DIR=$web "$root/scripts/web.sh" --build > /dev/null
npm ci --prefix "$root/tests/web" --no-audit --no-fund --loglevel=error > /dev/null
work=$(mktemp -d /tmp/orvalin-web-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

kb() { echo "$(( ($(cat "$@" | wc -c) + 512) / 1024 )) kB"; }
gz() { echo "$(( ($(cat "$@" | gzip -9n | wc -c) + 512) / 1024 )) kB"; }
site=$web/site
page=("$site/quadrillo.html" "$site/quadrillo.js" "$site/quadrillo.wasm" "$site/quadrillo.data")

# Seconds of one harness run (the median of the repetitions).
run_time() {  # FRAMES COMMAND...
  local frames=$1; shift
  for _ in $(seq "$repetitions"); do
    local start=$(date +%s.%N)
    "$@" --data "$root/data" --keys "$root/tests/game/golden/game/keys.txt" --frames "$frames" \
      --out "$work/out" > /dev/null
    echo "$(date +%s.%N) - $start" | bc
  done | sort -n | sed -n "$(( (repetitions + 1) / 2 ))p"
}
harness_rows() {  # FRAMES LABEL
  local n w
  n=$(run_time "$1" "$native/tools/replay/quadrillo-replay")
  w=$(run_time "$1" node --no-experimental-fetch "$web/tools/replay/quadrillo-replay.js")
  printf '| wasm harness under node, %s | %.3f s against %.3f s native: %.2f x native speed | >= 0.5 x |\n' \
    "$2" "$w" "$n" "$(echo "$n / $w" | bc -l)"
}

echo "| what | measured | goal |"
echo "| --- | --- | --- |"
echo "| game page: html + js + wasm + data | $(kb "${page[@]}") ($(gz "${page[@]}") gzip'd) | < 600 kB (< 250 kB gzip'd) |"
echo "| game in one file (single/quadrillo.html) | $(kb "$site/single/quadrillo.html") ($(gz "$site/single/quadrillo.html") gzip'd) | < 900 kB |"
harness_rows 844 "golden game (844 frames, start-up included)"
harness_rows 20000 "20000 frames of the same script"
NODE_PATH=$root/tests/web/node_modules node - "$site" <<'JS'
// The page in headless Chromium: per-frame work from the page's own clock.
const puppeteer = require('puppeteer-core');
const fs = require('fs'), http = require('http'), path = require('path');
const site = process.argv[2];
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));
(async () => {
  const server = http.createServer((q, r) => fs.readFile(site + new URL(q.url, 'http://x').pathname, (e, d) => {
    r.writeHead(e ? 404 : 200, { 'Content-Type': { '.wasm': 'application/wasm', '.js': 'text/javascript' }[path.extname(q.url)] || 'text/html' });
    r.end(d);
  })).listen(0, '127.0.0.1');
  await new Promise(resolve => server.on('listening', resolve));
  const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run'] });
  const page = await browser.newPage();
  // The page's probe, set before it loads: it hands over each present.
  await page.evaluateOnNewDocument(() => {
    window.frames_seen = [];  // [time, busy ms so far] at each present
    window.orvalin_probe = { present: (image, keys, busy) => frames_seen.push([performance.now(), busy]) };
  });
  await page.goto(`http://127.0.0.1:${server.address().port}/quadrillo.html`);
  const clicked = await page.evaluate(() => performance.now());
  await page.click('#cover');
  await sleep(21000);  // start-up, intro, reveal, then the title menu (frame 482 with no key)
  await page.keyboard.down('Space'); await sleep(100); await page.keyboard.up('Space');
  await sleep(10500);
  const seen = await page.evaluate(() => frames_seen);
  const work = (from, to) => {
    const each = seen.slice(from + 1, to).map((f, i) => f[1] - seen[from + i][1]).sort((a, b) => a - b);
    return `${(each.reduce((a, b) => a + b, 0) / each.length).toFixed(2)} ms a frame on average, ` +
      `${each[Math.floor(each.length * 0.95)].toFixed(2)} ms at the 95th percentile`;
  };
  const play = seen.length - 500;
  console.log(`| main thread's work per frame, title screens (frames 100-600) | ${work(175, 675)} | < 2 ms of each 20 ms |`);
  console.log(`| main thread's work per frame, play (last 500 frames) | ${work(play, seen.length - 1)} | < 2 ms of each 20 ms |`);
  console.log(`| click to first frame, click to title menu (frame 482) | ${((seen[0][0] - clicked) / 1000).toFixed(3)} s, ` +
    `${((seen[75 + 481][0] - clicked) / 1000).toFixed(2)} s (the machine's 1.5 s of black and the 9.6 s intro and reveal included) | |`);
  await browser.close();
  server.close();
})();
JS

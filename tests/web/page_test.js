// The machine's web pages in headless Chromium, one sequence of checks. The
// oracle is the native replay harness: a probe that the test sets before a
// page loads (window.orvalin_probe) records the keys each frame saw (a key
// script), and the canvas at a frame must equal the native harness's picture
// of that frame under the same keys, byte for byte; the machine's samples
// must correlate with the harness's offline render. The rest is checked as a
// person meets it: what reaches the speakers (an analyser beside WebAudio's
// destination), the page's words and the boxes of its controls.
// Prints one line per check, then "web: N passed, N failed".
// Usage: node page_test.js [NATIVE_BUILD] [WEB_BUILD]   (build/, build-web/)
'use strict';
const puppeteer = require('puppeteer-core');
const { execFileSync, spawnSync } = require('child_process');
const crypto = require('crypto'), zlib = require('zlib');
const fs = require('fs'), http = require('http'), os = require('os'), path = require('path');

const root = path.resolve(__dirname, '../..');
const [native, web] = [process.argv[2] || root + '/build', process.argv[3] || root + '/build-web'].map(p => path.resolve(p));
const site = web + '/site', tmp = fs.mkdtempSync(os.tmpdir() + '/orvalin-web-');
const GAME = native + '/tools/replay/quadrillo-replay', HELLO = native + '/examples/hello/orvalin-hello-replay';
const START = 75;  // black frames before the program's frame 1
const NAMES = { 59: 'ESC', 67: 'ENTER', 75: 'SPACE', 82: 'LEFT', 83: 'RIGHT', 84: 'UP', 85: 'DOWN', 115: 'LSHIFT', 119: 'ALT' };
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
// The correlation rule of the desktop's sound test, on 10 s to 20 s of the
// run, found in the offline render wherever the stream's queue put it. The pump applies writes at the
// start of the next buffer it fills, a few ms off; as the desktop test lets
// its stream settle first, the intro's music, one-frame notes in ten that
// suffer most from it, is left out.
const SOUND = `import sys, numpy as np, sound_match as m
ref = m.read_wav(sys.argv[1])[:20 * m.RATE]
rec = np.fromfile(sys.argv[2], '<f4').astype(np.float64) * 32768
print(m.match(rec[10 * m.RATE:20 * m.RATE], ref))`;
// The GIF button's download decoded by Pillow, each image its duration in
// 2/100 s frames, against the native PNGs of the frames up to argv[3], the
// last: the frame count and how many differ.
const GIF = `import sys
from PIL import Image, ImageSequence
frames = []
for f in ImageSequence.Iterator(Image.open(sys.argv[1])):
    d = f.info['duration']
    frames += [f.convert('RGB').tobytes()] * (d // 20 if d % 20 == 0 else 0)
first = int(sys.argv[3]) - len(frames) + 1
print(len(frames), sum(f != Image.open('%s/frame-%d.png' % (sys.argv[2], first + i)).convert('RGB')
    .tobytes() for i, f in enumerate(frames)), end='')`;
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));
let passed = 0, failed = 0;
const check = (name, ok, detail = '') => console.log(`${ok ? (passed++, 'ok  ') : (failed++, 'FAIL')} ${name} ${detail}`);
const messages = [];
let browser, server;  // closed at the end, also after a failure

// In the page before its scripts: the probe, and an analyser on every
// connection to the speakers.
function probe(want, start) {
  window.test = { times: [], keys: [], snaps: {}, want: new Set(want), samples: [], underruns: 0 };
  window.orvalin_probe = {
    present(image, held) {
      const k = test.times.push(performance.now()) - start;
      test.keys.push(held);
      if (test.want.has(k)) test.snaps[k] = image.data.slice();
    },
    samples: out => test.samples.push(out.slice()),
    underrun: () => test.underruns++,
  };
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target, ...rest) {
    if (target instanceof AudioDestinationNode) connect.call(this, test.analyser = target.context.createAnalyser());
    return connect.call(this, target, ...rest);
  };
}

// The native harness on a page's key log (line k = what frame k saw).
function replay(program, log, last, pictures) {
  const out = fs.mkdtempSync(tmp + '/run-');
  const lines = Array.from({ length: last }, (_, k) => (log[k + START - 1] || []).map(c => NAMES[c]).join(' '));
  fs.writeFileSync(out + '/keys', lines.join('\n') + '\n');
  execFileSync(program, ['--data', root + '/data', '--keys', out + '/keys', '--frames', String(last),
    '--out', out, '--png', pictures.join(',')]);
  const rows = fs.readFileSync(out + '/frames.txt', 'utf8').split('\n');
  return { out, state: k => rows[k - 1].split(' ')[2], png: k => fs.readFileSync(`${out}/frame-${k}.png`).toString('base64') };
}

// No evaluation before the page's first input: each one is a user gesture.
// Each page has a window of its own: a tab behind another is hidden.
async function open(url, touch, want) {
  const page = await (await browser.createBrowserContext({ downloadBehavior: { policy: 'allow', downloadPath: tmp } })).newPage();
  page.on('console', m => messages.push(url + ' ' + m.text()));
  page.on('pageerror', e => messages.push(url + ' ' + e.message));
  await page.setViewport({ width: 1280, height: 720, hasTouch: touch });
  await page.evaluateOnNewDocument(probe, want, START);
  await page.goto(url);
  return page;
}
const close = page => page.browserContext().close();
const frame = page => page.evaluate(start => test.times.length - start, START);
const until = async (page, k, end = Date.now() + 60000) => {
  while (await frame(page) < k) if (Date.now() < end) await sleep(50); else throw new Error(`no frame ${k}`);
};
const log = page => page.evaluate(() => test.keys);
const text = (page, selector) => page.$eval(selector, e => e.checkVisibility() ? e.textContent : '');
// The loudest sample at the speakers in five looks over half a second, from
// 0.1 s on (the analyser holds the last 46 ms).
const loudness = page => page.evaluate(async () => {
  let most = 0;
  for (let i = 0, data = new Float32Array(2048); i < 5; i++) {
    await new Promise(resolve => setTimeout(resolve, 100));
    test.analyser?.getFloatTimeDomainData(data);
    most = data.reduce((m, v) => Math.max(m, Math.abs(v)), most);
  }
  return most;
});
// Bytes of the canvas at frame k that differ from a PNG (decoded by the page).
const differ = (page, k, png) => page.evaluate(async (k, png) => {
  const image = new Image();
  image.src = 'data:image/png;base64,' + png;
  await image.decode();
  // Each picture through a canvas of its own (frame 0: the page's canvas now).
  const pixels = from => (c => (c.drawImage(from, 0, 0), c.getImageData(0, 0, 320, 240).data))(
    Object.assign(document.createElement('canvas'), { width: 320, height: 240 }).getContext('2d'));
  const want = pixels(image), got = k ? test.snaps[k] : pixels(document.getElementById('canvas'));
  return got ? want.reduce((n, v, i) => n + (v !== got[i]), 0) : -1;
}, k, png);
// Runs a page on to frame k and compares it with the native run of its key log.
async function settle(page, program, k) {
  await page.evaluate(k => test.want.add(k), k);
  await until(page, k + 1);
  const run = replay(program, await log(page), k, [k]);
  return { run, differing: await differ(page, k, run.png(k)) };
}
// A game in the page 10 frames on: the native picture, in one of `states`.
async function playing(page, name, states) {
  const end = await frame(page) + 10, { run, differing } = await settle(page, GAME, end);
  check(name, differing === 0 && states.includes(run.state(end)), [differing, run.state(end)]);
}
// Frames shown from now on for `ms` (of the page's clock), and the most in any 100 ms.
async function pace(page, ms) {
  const from = await page.evaluate(() => performance.now());
  await sleep(ms);
  const times = (await page.evaluate(() => test.times)).filter(t => t > from && t < from + ms);
  return [times.length, Math.max(...times.map(t => times.filter(u => u >= t && u < t + 100).length))];
}
// Whether some visible control's box meets the canvas's, at each viewport,
// and whether the picture has the largest whole scale that leaves the
// controls room.
async function layouts(page, touch, sizes) {
  for (const [width, height, want = 1] of sizes) {
    await page.setViewport({ width, height, hasTouch: touch });
    await sleep(100);
    const [scale, over] = await page.evaluate(() => {
      const c = document.getElementById('canvas').getBoundingClientRect();
      return [c.width / 320, [...document.querySelectorAll('button, input, #info')].filter(e => (r =>
        e.checkVisibility() && r.left < c.right && c.left < r.right && r.top < c.bottom && c.top < r.bottom)(
        e.getBoundingClientRect())).map(e => e.id || e.textContent)];
    });
    check(`${width} x ${height}${touch ? ' touch' : ''}: no control on the picture, scale ${want}`,
      over.length === 0 && scale === want, [scale, over]);
  }
}

// The first input may be one that is no gesture for sound: the machine runs
// silent with a sign, and its sound starts at the next click. (The Enter of
// an Alt+Enter is a gesture: its sound starts at once.)
async function first_input(base, [keys, gesture], want) {
  const page = await open(base + 'quadrillo.html', false, want);
  for (const key of keys) await page.keyboard.down(key);
  for (const key of [...keys].reverse()) await page.keyboard.up(key);
  await until(page, 531);
  const quiet = replay(GAME, await log(page), 530, [530]);
  const before = [await text(page, '#sound') === '', await loudness(page) > 0.01];
  await page.click('#canvas');
  check(`${keys.join('+')} first: title menu, ${gesture ? 'heard at once' : 'silent with a sign, heard at next click'}`,
    await differ(page, 530, quiet.png(530)) === 0 && before.every(b => b === gesture) &&
    await loudness(page) > 0.01 && await text(page, '#sound') === '', before);
  return page;
}

async function main() {
  // The data comes a second late: the first inputs are made while the page loads.
  server = http.createServer((q, r) => fs.readFile(site + new URL(q.url, 'http://x').pathname, (e, data) => setTimeout(() =>
    r.writeHead(e ? 404 : 200, { 'Content-Type': TYPES[path.extname(q.url)] || 'text/plain' }).end(data),
    q.url.endsWith('.data') ? 1000 : 0))).listen(0, '127.0.0.1');
  await new Promise(resolve => server.on('listening', resolve));
  const base = `http://127.0.0.1:${server.address().port}/`;
  // Puppeteer's own arguments already cut background networking, sync and the first-run screens.
  browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
    userDataDir: tmp + '/profile', args: ['--no-sandbox', '--disable-gpu', '--disable-component-update'] });

  // The game's page, served: three first inputs at once, then the Esc run on.
  let [page, ...others] = await Promise.all([[['Escape'], false], [['Shift'], false], [['Alt', 'Enter'], true]]
    .map(keys => first_input(base, keys, [530])));
  // Three pages at once share the processor: underruns count from here on,
  // and the rate from frame 650.
  for (const other of others) await close(other);
  await page.evaluate(() => { test.underruns = 0; });
  const from = await page.evaluate(() => test.samples.length);
  await page.click('#mute');
  const muted = [await loudness(page), await page.evaluate(n => test.samples.slice(n).some(b => b.some(v => v)), from)];
  await page.click('#mute');
  check('mute: speakers silent, the machine\'s samples go on', muted[0] === 0 && muted[1] && await loudness(page) > 0.01, muted);

  await until(page, 1000);
  const quiet = replay(GAME, await log(page), 1000, [530]);
  const times = await page.evaluate(() => test.times);
  const rate = 300000 / (times[START + 950] - times[START + 650]);
  check('50 frames/s within 2 % over 6 s', Math.abs(rate - 50) <= 1, rate.toFixed(2));
  const [samples, underruns] = await page.evaluate(() => [test.samples.flatMap(b => Array.from(b)), test.underruns]);
  fs.writeFileSync(tmp + '/samples.f32', new Float32Array(samples));
  // Debian's python3, where bootstrap.sh installs numpy.
  const median = Number(execFileSync('/usr/bin/python3', ['-c', SOUND, quiet.out + '/audio.wav', tmp + '/samples.f32'],
    { env: { ...process.env, PYTHONPATH: root + '/tests/support' } }));
  check('samples 10-20 s (muted a while): the desktop rule, median correlation >= 0.7; no underrun',
    median >= 0.7 && underruns === 0, [median, underruns]);

  // Asleep, the picture and the frame count stand still; awake, 50 frames/s with no burst.
  let tab = null;  // a tab in front of the page hides it
  const hide = async () => tab ? (await tab.close(), tab = null, await page.bringToFront())
    : (tab = await page.browserContext().newPage());
  const picture = () => page.$eval('#canvas', c => c.toDataURL());
  for (const [name, toggle, says] of [['pause button', () => page.click('#pause'), 'Paused'], ['hidden tab', hide, '']]) {
    await toggle();
    const before = await picture(), [slept] = await pace(page, 3000);
    const still = slept <= 1 && await picture() === before && await text(page, '#status') === says;
    await toggle();
    const [frames, burst] = await pace(page, 2000);
    // 50 frames/s puts 5 or 6 frames in 100 ms, a late frame and an early one 7.
    check(`${name}: picture and count held 3 s, then 50 frames/s, no burst`,
      still && frames >= 90 && frames <= 102 && burst <= 7, [slept, frames, burst]);
  }

  for (const key of ['Space', 'ArrowLeft']) {
    await page.keyboard.down(key); await sleep(100); await page.keyboard.up(key); await sleep(400);
  }
  await page.evaluate(() => {
    window.pad = { mapping: 'standard', buttons: Array.from({ length: 17 }, () => ({})) };
    navigator.getGamepads = () => [window.pad];
  });
  for (const pressed of [true, false]) { await page.evaluate(p => { pad.buttons[15].pressed = p; }, pressed); await sleep(150); }
  const held = new Set((await log(page)).flat());
  check('keyboard Space, Left and gamepad Right seen; pad noticed, in the help',
    [75, 82, 83].every(c => held.has(c)) && await text(page, '#status') === 'Gamepad connected' &&
    (await text(page, '#help')).includes('Gamepad'));
  await playing(page, 'in play: canvas equals native (bytes, state)', ['3', '4', '5']);
  await layouts(page, false, [[1280, 720, 3], [1920, 1080, 4], [480, 320], [3840, 2160, 9]]);
  await replays(base, page);

  // The single file, opened from disk on a touch screen.
  page = await open('file://' + site + '/single/quadrillo.html', true, [530]);
  await page.tap('#cover');
  await until(page, 531);
  // Heard: through an AudioWorklet, as a ScriptProcessor leaves a warning on the console.
  check('the single file from disk: title menu, heard',
    await differ(page, 530, quiet.png(530)) === 0 && await loudness(page) > 0.01);
  await page.tap('#touch-space');
  await playing(page, 'the on-screen Space starts a game', ['3']);
  await layouts(page, true, [[390, 844], [844, 390], [667, 375], [320, 480], [480, 320]]);
  await close(page);

  // The multi-file page from disk: what to do instead, and a link that does it.
  page = await open('file://' + site + '/quadrillo.html', false, []);
  const said = await text(page, '#from-disk');
  await Promise.all([page.waitForNavigation(), page.click('#single')]);
  check('multi-file page from disk: must be served, links the single file',
    said.includes('web server') && page.url().endsWith('/single/quadrillo.html'), said);
  await close(page);

  // The example: Quit asks, then its end screen, and a fresh run from its restart button.
  page = await open(base + 'hello.html', false, []);
  await page.click('#cover');
  await until(page, 30);
  await page.click('#quit');
  await sleep(300);
  const asked = await text(page, '#confirm') !== '' && await text(page, '#ended') === '';
  await page.click('#quit-yes');
  const ended = await page.waitForSelector('#ended:not([hidden])', { timeout: 5000 }).catch(() => null);
  check('Quit asks first, then the example\'s end screen', asked && ended);
  await page.evaluate(() => { test.times = []; test.keys = []; });
  await page.click('#restart');
  const hello = await settle(page, HELLO, 80);
  check('restart runs it afresh: frame 80 equals native', hello.differing === 0, hello.differing);
  check('no console message, served or from disk', messages.length === 0, messages.join(' | '));
}

// The run so far saved (paused, at frame n), its link copied: the saved
// script's frames are the keys the frames saw, and the native harness
// draws the frame shown from it. Its frames, made into a link here without
// the comments, play as fast as they go to "Replay ended" on that frame,
// deaf to the player's keys. Bad links are named, and the program starts.
async function gif(page, last) {
  const before = new Set(fs.readdirSync(tmp));
  await page.evaluate(() => orvalin_probe.gif = ms => test.gif = ms);
  await page.click('#gif');
  let name;
  for (let end = Date.now() + 20000; !name && Date.now() < end; await sleep(100))
    name = fs.readdirSync(tmp).find(f => /^quadrillo-\d{8}-\d{6}.*\.gif$/.test(f) && !before.has(f));
  const made = name ? execFileSync('/usr/bin/python3', ['-c', GIF, tmp + '/' + name, tmp, String(last)], { encoding: 'utf8' }) : '';
  return [made, `${Math.round(await page.evaluate(() => test.gif))} ms`, name && fs.statSync(tmp + '/' + name).size + ' bytes'];
}
async function replays(base, page) {
  await page.browserContext().overridePermissions(base, ['clipboard-read', 'clipboard-sanitized-write']);
  await page.click('#pause');
  await page.click('#save');
  await page.click('#link');
  await sleep(500);
  const name = fs.readdirSync(tmp).find(f => /^quadrillo-\d{8}-\d{6}\.keys$/.test(f));
  const saved = name ? fs.readFileSync(tmp + '/' + name, 'utf8') : '', n = await frame(page);
  const copied = await page.evaluate(() => navigator.clipboard.readText());
  const frames = saved.split('\n').filter(l => l[0] !== '#'), keys = await log(page);
  const data = saved.split('\n').filter(l => l.startsWith('# data ')).map(l => l.split(' '));
  const { stderr } = spawnSync(GAME, ['--data', root + '/data', '--keys', tmp + '/' + name, '--frames', String(n),
    '--out', tmp, '--png', Array.from({ length: n }, (_, k) => k + 1).join(',')], { encoding: 'utf8' });
  const png = () => fs.readFileSync(`${tmp}/frame-${n}.png`).toString('base64');
  const played = await gif(page, n);
  check('Save replay: header, the keys each frame saw, native draws the frame shown; Copy link: the same script',
    saved.startsWith(`# program quadrillo\n# data `) && saved.includes(`\n# frames ${n}\n`) && frames.length === n + 1 &&
    frames.slice(0, n).every((l, k) => l === keys[k + START - 1].map(c => NAMES[c]).join(' ')) && data.length > 0 &&
    data.every(([, , file, sum]) => sum === crypto.createHash('sha256').update(fs.readFileSync(root + '/data/' + file))
      .digest('hex')) && stderr === '' && await differ(page, 0, png()) === 0 &&
    copied.startsWith(base + 'quadrillo.html#replay=') &&
    zlib.inflateRawSync(Buffer.from(copied.split('=')[1], 'base64url')).toString() === saved, [n, name, stderr]);
  check('GIF while playing: the last 10 s, frame for frame the native ones', played[0] === `${Math.min(n, 500)} 0`, played);
  await close(page);

  const packed = zlib.deflateRawSync('# data game.psg 00\n' + frames.join('\n')).toString('base64url');
  page = await open(base + 'quadrillo.html#replay=' + packed, false, []);
  await page.waitForFunction(() => /watch/.test(document.getElementById('cover-text').textContent));
  const warned = (await text(page, '#status')).includes('recorded with other data (game.psg)');
  await page.click('#cover');
  await page.keyboard.down('ArrowLeft');
  await page.select('#speed', '0');
  const t = Date.now();
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Replay ended', { timeout: 60000 });
  const rate = Math.round((n + START) * 1000 / (Date.now() - t));
  await page.keyboard.up('ArrowLeft');
  await sleep(300);
  const time = `${Math.floor(n / 3000)}:${String(Math.floor(n / 50) % 60).padStart(2, '0')}`;
  check('a link (of other data: a warning) watched as fast as it goes: ends held on its last frame, the native one; keys ignored',
    warned && await frame(page) === n && await differ(page, 0, png()) === 0 && await text(page, '#replay-time') === `${time} / ${time}`,
    [rate + ' frames/s', await frame(page)]);
  const watched = await gif(page, n);
  check('GIF of a replay watched: all of it, frame for frame the native ones', watched[0] === `${Math.min(n, 3000)} 0`, watched);
  await page.click('#own');
  await until(page, n + 100);
  check('Play it yourself: the program runs afresh, no replay', await text(page, '#watching') === '');
  // The saved file, chosen: watched at 4x, then restarted and run as fast as it goes.
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#open')]);
  await chooser.accept([tmp + '/' + name]);
  await page.waitForFunction(() => /watch/.test(document.getElementById('cover-text').textContent));
  await page.click('#cover');
  await page.select('#speed', '4');
  await sleep(1000);
  await page.click('#replay-restart');
  await page.select('#speed', '0');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Replay ended', { timeout: 60000 });
  check('a chosen file at 4x, restarted: ends on the native frame', await differ(page, 0, png()) === 0);
  await close(page);

  for (const [bad, says] of [['A*', 'not base64url'], ['__8', 'not DEFLATE'],
    [zlib.deflateRawSync('LEFT\nJUMP\n').toString('base64url'), 'line 2 names no key'],
    [zlib.deflateRawSync(Buffer.from([0xff, 10])).toString('base64url'), 'not a key script'],
    [zlib.deflateRawSync('\n'.repeat(1800001)).toString('base64url'), 'longer than 10 hours']]) {
    page = await open(base + 'quadrillo.html#replay=' + bad, false, []);
    await page.waitForFunction(() => /start/.test(document.getElementById('cover-text').textContent));
    const said = await text(page, '#status');
    await page.click('#cover');
    await until(page, 10);
    check(`bad link (${says}): said, the program starts`,
      said.startsWith('This replay link cannot be played: ') && said.includes(says) && await text(page, '#watching') === '', said);
    await close(page);
  }
}

// A page that hangs fails the run rather than holding it up.
setTimeout(() => { console.log('FAIL: no end within 5 minutes'); process.exit(1); }, 300000).unref();
main().catch(e => { console.log('FAIL ' + (e.stack || e)); failed++; }).finally(async () => {
  await browser?.close();
  server?.close();
  if (!process.env.KEEP) fs.rmSync(tmp, { recursive: true, force: true });
  console.log(`web: ${passed} passed, ${failed} failed`);
  process.exitCode = failed ? 1 : 0;
});

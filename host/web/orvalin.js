// The page around a program of the Orvalin machine: the host's browser side
// (host_web.cpp reaches it as Module.orvalin). It shows the picture on a
// canvas scaled by whole numbers, in a cell of its own beside or below the
// page's controls; maps physical keys, touch buttons and a gamepad to the
// machine's keys; counts the 250 Hz ticks from the page's clock, which
// stands still while the page is paused or hidden; and plays the stream
// through WebAudio, under the page's own mute and volume. The program loads
// with the page and starts at the first input of any kind; where the browser
// refuses sound to that input, the machine runs silent and its sound starts
// at the next gesture. The program's end offers a restart, which starts a
// fresh instance of the program. Every run's keys are recorded, to save as
// a key script or copy as a link; a replay from a link or a file plays in
// place of the player's keys, and holds its last frame. The GIF button
// downloads what was shown lately, from the host's own record of its frames.
//
// Appended to the program's module script, after its factory orvalin_program.
'use strict';

// The stream's player, the same code in an AudioWorklet or, where there is
// none, in a ScriptProcessor on the page: a queue of buffers of float
// samples played in order, each reported when played out. A message of a new
// generation (the stream closed or reopened) drops the queue, as stopping a
// stream does on the desktop. Running dry while playing is an underrun.
function orvalin_stream_player(report) {
  let queue = [], at = 0, generation = 0, playing = false;
  return {
    message(m) {
      if (m.generation !== generation) {
        queue = []; at = 0; playing = false; generation = m.generation;
      }
      if (m.samples) { queue.push(m.samples); playing = true; }
    },
    process(out) {
      let i = 0, played = 0, under = 0;
      while (i < out.length) {
        const buffer = queue[0];
        if (!buffer) {
          out.fill(0, i);
          if (playing) under = 1;
          playing = false;
          break;
        }
        const n = Math.min(out.length - i, buffer.length - at);
        out.set(buffer.subarray(at, at + n), i);
        i += n; at += n;
        if (at === buffer.length) { queue.shift(); at = 0; played++; }
      }
      if (played || under) report({ generation, played, under });
    },
  };
}

const ORVALIN_WORKLET = `${orvalin_stream_player}
registerProcessor('orvalin-stream', class extends AudioWorkletProcessor {
  constructor() {
    super();
    this.player = orvalin_stream_player(m => this.port.postMessage(m));
    this.port.onmessage = e => this.player.message(e.data);
  }
  process(inputs, outputs) { this.player.process(outputs[0][0]); return true; }
});`;

// The host's key list arrives with the machine's start (host/keys.h): each
// key's name, code and KeyboardEvent.code. Until then no key is known.
const ORVALIN_KEY_COUNT = 127;  // host key codes are 1..126
function orvalin_keys(list) {
  const keys = { byName: {}, byDom: {}, names: [] };
  for (const line of list.split('\n')) {
    const [name, code, dom] = line.split(' ');
    if (!name) continue;
    keys.byName[name] = Number(code);
    keys.names[code] = name;
    if (dom) keys.byDom[dom] = Number(code);
  }
  return keys;
}

// A run's keys, one set a frame, kept as runs of equal sets: a run is a
// mask of four words (bit c for key code c) and its length in frames. A
// frame costs nothing but a count until the keys change, and the arrays
// only grow, by doubling: 30 minutes of play are a few thousand runs.
const ORVALIN_START = 75;           // black frames the machine shows before the program's frame 1
const ORVALIN_LONGEST = 1800000;    // frames a replay may have: ten hours at 50 a second
function orvalin_key_log() {
  let masks = new Uint32Array(256), lengths = new Uint32Array(64), runs = 0, frames = 0;
  let run = 0, start = 0;  // the read cursor: the run holding frame `start` on
  return {
    get frames() { return frames; },
    // Appends a frame holding the keys of `mask`.
    push(mask) {
      let same = runs > 0;
      for (let w = 0; w < 4 && same; w++) same = masks[4 * (runs - 1) + w] === mask[w];
      frames++;
      if (same) { lengths[runs - 1]++; return; }
      if (runs === lengths.length) {
        const m = new Uint32Array(masks.length * 2), l = new Uint32Array(lengths.length * 2);
        m.set(masks); l.set(lengths);
        masks = m; lengths = l;
      }
      masks.set(mask, 4 * runs);
      lengths[runs++] = 1;
    },
    // Frame k's keys (from 0) into `mask`, read forwards without a search.
    read(k, mask) {
      if (k < start) run = start = 0;
      while (run < runs && k >= start + lengths[run]) start += lengths[run++];
      for (let w = 0; w < 4; w++) mask[w] = run < runs ? masks[4 * run + w] : 0;
    },
    // The key script of the first `count` frames: a line a frame.
    text(names, count = frames) {
      const out = [];
      for (let r = 0, left = count; r < runs && left > 0; r++) {
        const held = [];
        for (let code = 1; code < ORVALIN_KEY_COUNT; code++)
          if (masks[4 * r + (code >> 5)] >>> (code & 31) & 1) held.push(names[code]);
        const line = held.join(' ') + '\n';
        for (let n = Math.min(lengths[r], left); n > 0; n--, left--) out.push(line);
      }
      return out.join('');
    },
  };
}

// A key script (the replay harness's): a line a frame, key names separated
// by blanks; a line whose first word starts with '#' is a comment. Throws
// what makes it no replay.
function orvalin_parse_keys(text, keys) {
  const log = orvalin_key_log(), mask = new Uint32Array(4), comments = [];
  const lines = text.split('\n');
  if (lines[lines.length - 1] === '') lines.pop();
  lines.forEach((line, number) => {
    const words = line.split(/[ \t\r\f\v]+/).filter(w => w);
    if (words.length && words[0][0] === '#') { comments.push(line); return; }
    mask.fill(0);
    for (const word of words) {
      const code = keys.byName[word];
      if (!code) throw new Error(`line ${number + 1} names no key of the machine ("${word.slice(0, 20)}")`);
      mask[code >> 5] |= 1 << (code & 31);
    }
    if (log.frames >= ORVALIN_LONGEST) throw new Error('it is longer than 10 hours');
    log.push(mask);
  });
  if (!log.frames) throw new Error('it holds no frame');
  return { log, comments };
}

// The link's form of a key script: base64url (RFC 4648, section 5, with no
// padding) of its raw DEFLATE bytes.
async function orvalin_pack(text) {
  const stream = new Blob([text]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  const bytes = new Uint8Array(await new Response(stream).arrayBuffer());
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}
const ORVALIN_INFLATED = 64 << 20;  // bytes a link may inflate to
async function orvalin_unpack(packed) {
  if (!/^[A-Za-z0-9_-]*$/.test(packed) || packed.length % 4 === 1) throw new Error('it is not base64url');
  const binary = atob(packed.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = Uint8Array.from(binary, c => c.charCodeAt(0));
  const reader = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw')).getReader();
  const parts = [];
  try {
    for (let size = 0, part; !(part = await reader.read()).done;) {
      if ((size += part.value.length) > ORVALIN_INFLATED) throw new RangeError();
      parts.push(part.value);
    }
  } catch (e) {
    reader.cancel().catch(() => {});
    throw new Error(e instanceof RangeError ? 'it is longer than 10 hours' : 'it is not DEFLATE data');
  }
  return new Uint8Array(await new Blob(parts).arrayBuffer());
}
// Kept from the page while the machine runs: they would scroll it.
const ORVALIN_KEPT = ['SPACE', 'LEFT', 'RIGHT', 'UP', 'DOWN'];
// A standard-mapping gamepad's buttons: the d-pad, A, Back and Start.
const ORVALIN_PAD = [[12, 'UP'], [13, 'DOWN'], [14, 'LEFT'], [15, 'RIGHT'], [0, 'SPACE'],
  [8, 'ESC'], [9, 'ESC']];
const ORVALIN_STREAM_QUEUE = 4096;  // samples a stream queues at least, as on the desktop
// From a data: URL: a page opened from disk has an opaque origin, and its
// worklet refuses a Blob URL made there as cross-origin.
const ORVALIN_WORKLET_URL = 'data:text/javascript,' + encodeURIComponent(ORVALIN_WORKLET);
const ORVALIN_RATE = 44100;         // samples a second, the stream's and the context's
const ORVALIN_QUANTUM = 128;        // samples WebAudio plays at a time
const ORVALIN_IDLE_MS = 2500;       // full screen: the controls hide after this long without the pointer
const ORVALIN_NOTICE_MS = 4000;     // how long a notice stays
const ORVALIN_GIF_FRAMES = 500;     // the GIF button: the last 10 s played (a replay: all the host keeps)
// The layouts tried, in order of preference: the arrangements (page.html)
// at each size of the controls (px of their font), largest first. The
// smallest is a last resort, for a small phone held sideways with its touch
// buttons (480 x 320): small buttons there rather than buttons on the picture.
const ORVALIN_LAYOUTS = ['column', 'sides', 'row'], ORVALIN_CONTROL_SIZES = [16, 13, 10, 7];

function orvalin_page(factory) {
  const $ = id => document.getElementById(id);
  const screen = $('screen'), view = $('view'), canvas = $('canvas'), cover = $('cover'), ended = $('ended');
  const cover_text = $('cover-text'), volume = $('volume');
  const context = canvas.getContext('2d', { alpha: false });
  // Tests and benchmarks watch the page through a probe that they set before
  // it loads (window.orvalin_probe): each present (the picture shown, the
  // keys the next frame sees, the ms of the machine's work so far), the
  // machine's samples, each underrun. A player's page has none and exposes
  // nothing.
  const probe = window.orvalin_probe;
  // The multi-file page names its single file (page.cmake). Opened from disk
  // it cannot load its parts, and says so rather than trying.
  const single = document.currentScript && document.currentScript.dataset.single;
  const servable = !(single && location.protocol === 'file:');
  let presents = 0, busy = 0;  // frames shown and ms of the machine's work, this run
  // wanted: an input asked for the program; running: its main runs; asleep:
  // paused or hidden; closing: Quit was confirmed.
  let wanted = false, running = false, paused = false, asleep = false, closing = false;

  // Keys: each source holds its own; a key also stays held until a frame has
  // seen it, so that a tap shorter than a frame is not lost.
  const sources = { keyboard: new Uint8Array(ORVALIN_KEY_COUNT),
    touch: new Uint8Array(ORVALIN_KEY_COUNT), pad: new Uint8Array(ORVALIN_KEY_COUNT) };
  const pressed_at = new Float64Array(ORVALIN_KEY_COUNT).fill(-2);
  let keys = orvalin_keys('');
  const K = name => keys.byName[name];
  const press = (source, code, down) => {
    if (down && !source[code]) pressed_at[code] = presents;
    source[code] = down ? 1 : 0;
  };
  // A replay being watched: its keys, and no others, reach the machine.
  let watch = null;  // { log, frames, name }
  const watched = new Uint32Array(4);  // the keys of the frame the machine runs
  const key = code => watch ? presents >= ORVALIN_START && (watched[code >> 5] >>> (code & 31) & 1) === 1
    : sources.keyboard[code] || sources.touch[code] || sources.pad[code] || presents - pressed_at[code] <= 1;
  // Every run's keys are recorded from the program's first frame: the set
  // its frame k saw is entry k - 1 of the log.
  let record = orvalin_key_log();
  const recorded = new Uint32Array(4);
  const release_all = () => { sources.keyboard.fill(0); sources.touch.fill(0); };
  // Keys held when the machine starts (the one that started it, the Alt of
  // an Alt+Enter) are held for it from its first frame. They are kept by
  // physical key: the key list comes with the machine's start.
  const held_before = new Set();

  // One line under the help: "Paused", or a short notice.
  let notice_text = '', notice_timer = 0;
  let over = false;  // a replay has shown its last frame
  const show_status = () => { $('status').textContent = over ? 'Replay ended' : paused ? 'Paused' : notice_text; };
  function notice(text) {
    notice_text = text;
    show_status();
    clearTimeout(notice_timer);
    notice_timer = setTimeout(() => { notice_text = ''; show_status(); }, ORVALIN_NOTICE_MS);
  }
  // A notice that stays until the next one.
  const say = text => { notice(text); clearTimeout(notice_timer); };

  // A standard-mapping gamepad, read at every present. One that appears
  // shows a notice, and the help names its buttons while one is there.
  let pads = 0;
  function poll_gamepads() {
    sources.pad.fill(0);
    let seen = 0;
    for (const pad of navigator.getGamepads ? navigator.getGamepads() : []) {
      if (!pad || pad.mapping !== 'standard') continue;
      seen++;
      for (const [button, name] of ORVALIN_PAD)
        if (pad.buttons[button] && pad.buttons[button].pressed) press(sources.pad, K(name), true);
    }
    if (seen === pads) return;
    if (seen > pads) notice('Gamepad connected');
    pads = seen;
    $('help-pad').hidden = !pads;
    fit();
  }

  // The canvas at the largest whole scale of device pixels that its cell
  // holds. Each layout is laid out with the canvas at no size, so that its
  // cell is what the controls leave; one whose controls overflow the page
  // does not count. The largest scale wins, then the earlier layout. Called
  // again whenever the controls change.
  function fit() {
    const ratio = window.devicePixelRatio || 1;
    canvas.style.width = canvas.style.height = '0';
    let best = { scale: 0, layout: 'column', size: ORVALIN_CONTROL_SIZES[ORVALIN_CONTROL_SIZES.length - 1] };
    for (const size of ORVALIN_CONTROL_SIZES) {
      for (const layout of ORVALIN_LAYOUTS) {
        screen.dataset.layout = layout;
        screen.style.fontSize = size + 'px';
        if (screen.scrollWidth > screen.clientWidth || screen.scrollHeight > screen.clientHeight) continue;
        const scale = Math.floor(Math.min(view.clientWidth * ratio / canvas.width,
          view.clientHeight * ratio / canvas.height));
        if (scale > best.scale) best = { scale, layout, size };
      }
    }
    screen.dataset.layout = best.layout;
    screen.style.fontSize = best.size + 'px';
    const scale = Math.max(1, best.scale);
    canvas.style.width = canvas.width * scale / ratio + 'px';
    canvas.style.height = canvas.height * scale / ratio + 'px';
  }
  window.addEventListener('resize', fit);

  let machine_fullscreen = 0, work_start = 0, sleeper = null;
  // The machine's clock, in ms: `base` at the page's time `base_at`, then
  // running at `speed` times the page's (0: as fast as the machine goes,
  // each rest moving it on at once). It stands still while the page sleeps.
  let base = 0, base_at = 0, speed = 1;
  const machine_now = () => asleep || !speed ? base : base + (performance.now() - base_at) * speed;
  const rebase = () => { base = machine_now(); base_at = performance.now(); };
  let runs = 0;  // runs started: a rest of an earlier run, left behind, never wakes
  // A rest ends in a message, not in its timer's callback: the machine then
  // runs outside any timer, and its next timer is not a nested one, which
  // browsers hold back to 4 ms or more.
  const waker = new MessageChannel();
  waker.port1.onmessage = () => { const wake = sleeper; sleeper = null; if (wake) wake(); };
  const is_fullscreen = () => !!document.fullscreenElement;
  const toggle_fullscreen = () => is_fullscreen() ? document.exitFullscreen()
    : screen.requestFullscreen().catch(() => {});
  // The page changed its full screen by its own means (the button, Esc): the
  // machine's flag follows it at its next frame end (host_display_changed).
  let shown_change = -1;  // 1 full screen, 0 a window, -1 no change to report
  const follow = shown => {
    if (!running || watch || shown === (machine_fullscreen !== 0)) return;
    machine_fullscreen = shown ? -1 : 0;
    shown_change = shown ? 1 : 0;
  };
  let idle_timer = 0;
  function wake_controls() {
    screen.classList.remove('idle');
    clearTimeout(idle_timer);
    if (is_fullscreen()) idle_timer = setTimeout(() => screen.classList.add('idle'), ORVALIN_IDLE_MS);
  }
  for (const type of ['pointermove', 'pointerdown']) window.addEventListener(type, wake_controls);
  document.addEventListener('fullscreenchange', () => {
    wake_controls();
    fit();
    follow(is_fullscreen());
  });

  // Sound. The stream's buffers go to the stream player, on the page and
  // playing into nothing at the machine's clock until the browser lets the
  // page play sound, then in WebAudio. The pump sees its buffers taken at
  // the same pace either way: the machine never waits for its sound. Mute
  // and volume are a gain after the player, the page's own setting kept in
  // its local storage; the machine's samples are the same.
  const Context = window.AudioContext || window.webkitAudioContext;
  const audio = { context: null, gain: null, heard: false, post: null, generation: 0, queued: 0, capacity: 0 };
  const played = m => { if (m.generation === audio.generation) audio.queued -= m.played; };
  const sink = { player: orvalin_stream_player(played), at: 0, out: new Float32Array(ORVALIN_QUANTUM) };
  const sink_post = audio.post = m => sink.player.message(m);
  // The sink plays out what the machine's clock has reached, when it wakes.
  // It also takes the stream while a replay runs faster than the machine.
  function drain() {
    const due = Math.floor(host.now() * ORVALIN_RATE / 1000);
    for (; sink.at + ORVALIN_QUANTUM <= due; sink.at += ORVALIN_QUANTUM) sink.player.process(sink.out);
  }
  const setting = (name, value) => {
    try {
      if (value === undefined) return localStorage.getItem('orvalin.' + name);
      localStorage.setItem('orvalin.' + name, value);
    } catch (e) {
      return null;  // no storage here: the setting lasts as long as the page
    }
  };
  let muted = setting('muted') === '1';
  volume.value = setting('volume') || 100;
  // The slider's square: loudness follows it more evenly than the amplitude would.
  function apply_volume() {
    $('mute').textContent = muted ? 'Unmute' : 'Mute';
    $('mute').setAttribute('aria-pressed', String(muted));
    if (audio.gain) audio.gain.gain.value = muted || speed !== 1 ? 0 : (volume.value / 100) ** 2;
    fit();
  }
  $('mute').addEventListener('click', () => { muted = !muted; setting('muted', muted ? '1' : '0'); apply_volume(); });
  volume.addEventListener('input', () => {
    muted = false;
    setting('muted', '0');
    setting('volume', volume.value);
    apply_volume();
  });
  const show_sound_sign = () => { $('sound').hidden = !wanted || !Context || !!audio.context; fit(); };

  async function start_sound() {
    if (audio.context || !Context) return;
    let context;
    try { context = new Context({ sampleRate: ORVALIN_RATE, latencyHint: 'interactive' }); } catch (e) { return; }
    audio.context = context;
    show_sound_sign();
    audio.gain = context.createGain();
    audio.gain.connect(context.destination);
    apply_volume();
    const heard = m => {
      if (m.under && probe && probe.underrun) probe.underrun();
      played(m);
    };
    let node, post;
    try {
      await context.audioWorklet.addModule(ORVALIN_WORKLET_URL);
      node = new AudioWorkletNode(context, 'orvalin-stream',
        { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [1] });
      node.port.onmessage = e => heard(e.data);
      post = (m, transfer) => node.port.postMessage(m, transfer);
    } catch (e) {
      // No worklet (an older browser): the same player on the page.
      const player = orvalin_stream_player(heard);
      node = context.createScriptProcessor(1024, 0, 1);
      node.onaudioprocess = e => player.process(e.outputBuffer.getChannelData(0));
      post = m => player.message(m);
    }
    node.connect(audio.gain);
    await context.resume();
    // What the sink still holds goes unheard: the pump fills the player's
    // whole queue afresh, from the machine's time.
    audio.heard = true;
    audio.post = post;
    sink.player.message({ generation: -1 });
    audio.queued = 0;
    post({ generation: audio.generation });
    if (asleep) context.suspend();
  }
  // A gesture starts the sound of a machine that runs silent. Esc, Shift,
  // Alt, Ctrl and the system keys are no gesture for a browser (as
  // navigator.userActivation tells), and a context made without one would
  // wait for the next, with a warning on the console.
  function sound_gesture() {
    if (!wanted || audio.heard || (navigator.userActivation && !navigator.userActivation.isActive)) return;
    if (!audio.context) start_sound();
    else if (!asleep) audio.context.resume();
  }
  for (const type of ['pointerdown', 'pointerup', 'keydown']) window.addEventListener(type, sound_gesture);

  // Asleep while paused or hidden: the machine's clock stands still, the
  // machine sleeps on in its rest and the sound is suspended. Waking, it
  // finds no backlog of ticks, and no frame runs early to drop one.
  function set_asleep() {
    if (asleep === (paused || document.hidden || over)) return;
    rebase();
    asleep = !asleep;
    base_at = performance.now();
    if (asleep) release_all();
    if (audio.heard && running) asleep ? audio.context.suspend() : audio.context.resume();
    if (!asleep && sleeper) waker.port2.postMessage(0);
  }
  function set_paused(on) {
    paused = on;
    $('pause').textContent = paused ? 'Continue' : 'Pause';
    $('pause').setAttribute('aria-pressed', String(paused));
    show_status();
    set_asleep();
    fit();
  }
  document.addEventListener('visibilitychange', set_asleep);
  window.addEventListener('blur', release_all);

  const post_both = m => { audio.post(m); if (audio.post !== sink_post) sink_post(m); };

  // The host's calls (host_web.cpp).
  const host = {
    start(list) {
      keys = orvalin_keys(list);
      for (const dom of held_before) if (keys.byDom[dom]) sources.keyboard[keys.byDom[dom]] = 1;
      held_before.clear();
      work_start = base_at = performance.now();
      base = sink.at = 0;
      fit();
      return context ? -1 : 0;
    },
    mode(fullscreen) {
      // The browser grants full screen only at a gesture (the Enter of an
      // Alt+Enter is one, until a request uses it up): without one the mode
      // is refused, rather than asked for in vain. A replay's machine has
      // the mode it asks for, as on the replay harness, and the page stays
      // as it is.
      if (!watch && fullscreen && !is_fullscreen() && (!document.fullscreenEnabled ||
        (navigator.userActivation && !navigator.userActivation.isActive))) return 0;
      machine_fullscreen = fullscreen;
      shown_change = -1;
      if (!watch && fullscreen && !is_fullscreen()) {
        // Refused (no recent click or key): the machine goes back to a window.
        screen.requestFullscreen().catch(() => follow(false));
      } else if (!watch && !fullscreen && is_fullscreen()) {
        document.exitFullscreen();
      }
      context.fillStyle = '#000';
      context.fillRect(0, 0, canvas.width, canvas.height);
      return -1;
    },
    present(rgba, width, height) {
      if (canvas.width !== width || canvas.height !== height) {
        canvas.width = width; canvas.height = height; fit();
      }
      const image = new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.length), width, height);
      context.putImageData(image, 0, 0);
      poll_gamepads();
      // From here on the keys held are the next frame's.
      presents++;
      if (watch) show_watch();
      else if (presents >= ORVALIN_START) {
        recorded.fill(0);
        for (let code = 1; code < ORVALIN_KEY_COUNT; code++) if (key(code)) recorded[code >> 5] |= 1 << (code & 31);
        record.push(recorded);
      }
      if (probe && probe.present) {
        const held = [];
        for (let code = 1; code < ORVALIN_KEY_COUNT; code++) if (key(code)) held.push(code);
        probe.present(image, held, busy);
      }
    },
    title(text) { document.title = text; },
    closeRequested() { return closing ? -1 : 0; },
    displayChanged() { const shown = watch ? -1 : shown_change; shown_change = -1; return shown; },
    key(code) { return key(code) ? -1 : 0; },
    // Milliseconds of the machine's clock: the page's, less the time asleep.
    now: machine_now,
    // The machine sleeps for `ms`, and on while the page is asleep.
    rest(ms) {
      busy += performance.now() - work_start;
      const run = runs;
      return new Promise(resolve => {
        const wake = () => {
          if (run !== runs) return;
          sleeper = resolve;
          if (!asleep) waker.port2.postMessage(0);
        };
        if (speed) setTimeout(wake, ms / speed);
        else { base += ms; wake(); }
      }).then(() => {
        work_start = performance.now();
        drain();
      });
    },
    soundInstall() { return Context ? -1 : 0; },
    streamOpen(length) {
      audio.generation++;
      audio.queued = 0;
      audio.capacity = Math.max(2, Math.ceil(ORVALIN_STREAM_QUEUE / length));
      post_both({ generation: audio.generation });
      return -1;
    },
    streamClose() {
      audio.generation++;
      audio.capacity = audio.queued = 0;
      post_both({ generation: audio.generation });
    },
    streamFree() { return audio.capacity - audio.queued; },
    // Unsigned samples, silence at 0x8000, as floats around 0.
    streamPlay(samples) {
      const out = new Float32Array(samples.length);
      for (let i = 0; i < samples.length; i++) out[i] = (samples[i] - 32768) / 32768;
      if (probe && probe.samples) probe.samples(out);
      audio.queued++;
      (speed === 1 ? audio.post : sink_post)({ generation: audio.generation, samples: out }, [out.buffer]);
    },
    gifMade(bytes) { gif_made = bytes; },
    ended(status) {
      running = wanted = false;
      release_all();
      ask_quit(false);
      set_paused(false);
      if (is_fullscreen()) document.exitFullscreen();
      ended.hidden = false;
      $('restart').focus();
    },
  };

  // The cover says "Loading..." (with the data's progress, the larger part)
  // until the program is ready, and only then invites a start. An input
  // while it loads is remembered: the program starts once it is ready.
  let instance = null, ready = false, gif_made = null;
  const progress = text => {  // Emscripten's "Downloading data... (loaded/total)"
    const part = /\((\d+)\/(\d+)\)/.exec(text);
    if (part && !ready) cover_text.textContent = `Loading... ${Math.floor(100 * part[1] / part[2])} %`;
  };
  function show_error(text) {
    running = false;
    cover.hidden = false;
    cover_text.textContent = text;
  }
  // A fresh instance of the program for every run: its memory starts as the
  // program expects it, whatever the last run left behind.
  // The first instance also gives the key names and the data's SHA-256
  // (the files in its root folder), which a saved replay names.
  let data_lines = null, pending = null;  // pending: a replay to read once the names are known
  function load() {
    ready = false;
    cover_text.textContent = 'Loading...';
    instance = factory({ orvalin: host, noInitialRun: true, print() {}, printErr() {}, setStatus: progress,
      onAbort: what => show_error('The program stopped: ' + what) });
    instance.then(async program => {
      if (!data_lines) {
        keys = orvalin_keys(program.UTF8ToString(program._web_key_list()));
        data_lines = [];
        for (const name of program.FS.readdir('/').sort()) {
          if (!program.FS.isFile(program.FS.stat('/' + name).mode) || !crypto.subtle) continue;
          const sum = new Uint8Array(await crypto.subtle.digest('SHA-256', program.FS.readFile('/' + name)));
          data_lines.push(`# data ${name} ${Array.from(sum, b => b.toString(16).padStart(2, '0')).join('')}`);
        }
      }
      if (pending) await take(...pending);
      pending = null;
      ready = true;
      cover_text.textContent = watch ? 'Click or press a key to watch the replay' : 'Click or press a key to start';
      if (wanted) run();
    }, e => show_error('The program could not start: ' + (e && e.message || e)));
  }
  async function run() {
    if (running || !ready) return;
    const program = await instance;
    running = true;
    closing = false;
    presents = busy = 0;
    record = orvalin_key_log();
    shown_second = -1;
    if (!watch) { speed = 1; $('speed').value = '1'; apply_volume(); }
    pressed_at.fill(-2);
    cover.hidden = ended.hidden = true;
    $('watching').hidden = !watch;
    $('own').hidden = true;
    show_watch();
    fit();
    program.callMain([]);
  }
  // A new run in a fresh instance; the one running is left asleep for good.
  function fresh() {
    runs++;
    sleeper = null;
    over = false;
    set_paused(false);  // while running, so that the sound wakes
    running = wanted = false;
    ended.hidden = true;
    cover.hidden = false;
    load();
  }

  // Watching: the time shown of the replay's length, and its end.
  const minutes = frames => (s => `${Math.floor(s / 60)}:${String(s % 60).padStart(2, '0')}`)(Math.floor(frames / 50));
  let shown_second = -1;
  function show_watch() {
    if (!watch) return;
    const frame = Math.max(0, presents - ORVALIN_START);
    if (frame >= watch.frames && running && !over) {
      over = true;
      set_asleep();
      show_status();
      $('own').hidden = false;
      fit();
    }
    watch.log.read(frame, watched);
    if (Math.floor(frame / 50) === shown_second && frame) return;
    shown_second = Math.floor(frame / 50);
    $('replay-time').textContent = `${minutes(frame)} / ${minutes(watch.frames)}`;
  }
  // A replay from a link or a file: it plays at the next start, or says
  // what is wrong with it, and the program starts as usual.
  async function take(bytes, from) {
    try {
      let text;
      try { text = new TextDecoder('utf-8', { fatal: true }).decode(await bytes()); } catch (e) {
        if (e instanceof TypeError) throw new Error('it is not a key script'); else throw e;
      }
      const { log } = orvalin_parse_keys(text, keys);
      watch = { log, frames: log.frames };
      const header = text.split('\n').filter(line => /^\s*# data /.test(line)).map(line => line.trim().split(/\s+/).join(' '));
      const other = header.filter(line => !data_lines.includes(line)).map(line => line.split(' ')[2]);
      say(other.length ? `This replay was recorded with other data (${other.join(', ')}): it may not play as it did`
        : `A replay of ${minutes(log.frames)}`);
    } catch (e) {
      watch = null;
      say(`This replay ${from} cannot be played: ${e.message}.`);
    }
  }
  // A replay chosen or dropped: the program starts afresh to show it.
  async function take_file(file) {
    if (!file || !data_lines) return;
    await take(() => file.arrayBuffer(), 'file');
    if (watch) fresh();
  }

  // Saving: the run so far (the replay being watched, whole), a header of
  // comments naming the program, its data and the frame count.
  const program_name = (location.pathname.split('/').pop() || '').replace(/\.html?$/, '') || 'program';
  function script() {
    const log = watch ? watch.log : record;
    const frames = watch ? watch.frames : Math.min(record.frames, Math.max(0, presents - ORVALIN_START));
    return [`# program ${program_name}`, ...(data_lines || []), `# frames ${frames}\n`].join('\n') +
      log.text(keys.names, frames);
  }
  // A download named PROGRAM-YYYYMMDD-HHMMSS.EXTENSION, at the local time.
  function download(blob, extension) {
    const d = new Date(), two = n => String(n).padStart(2, '0');
    const link = document.createElement('a');
    link.download = `${program_name}-${d.getFullYear()}${two(d.getMonth() + 1)}${two(d.getDate())}-` +
      `${two(d.getHours())}${two(d.getMinutes())}${two(d.getSeconds())}.${extension}`;
    link.href = URL.createObjectURL(blob);
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  }
  $('save').addEventListener('click', () => download(new Blob([script()], { type: 'text/plain' }), 'keys'));
  $('gif').addEventListener('click', async () => {
    const shown = presents - ORVALIN_START;
    if (!instance || shown < 1) return notice('Nothing shown yet to make a GIF of');
    const program = await instance, began = performance.now();
    const frames = program._web_gif(watch ? shown : Math.min(shown, ORVALIN_GIF_FRAMES));
    if (probe && probe.gif) probe.gif(performance.now() - began);
    if (!gif_made || !gif_made.length) return notice('Nothing shown yet to make a GIF of');
    download(new Blob([gif_made], { type: 'image/gif' }), 'gif');
    notice(`GIF saved: ${(frames / 50).toFixed(1)} s, ${(gif_made.length / 1048576).toFixed(1)} MB`);
    gif_made = null;
  });
  $('link').addEventListener('click', async () => {
    const url = location.href.replace(/#.*$/, '') + '#replay=' + await orvalin_pack(script());
    try {
      await navigator.clipboard.writeText(url);
      notice(`Link copied (${url.length} characters)`);
    } catch (e) {
      notice('The browser keeps the clipboard closed to this page');
    }
  });
  $('open').addEventListener('click', () => $('file').click());
  $('file').addEventListener('change', () => { take_file($('file').files[0]); $('file').value = ''; });
  window.addEventListener('dragover', e => e.preventDefault());
  window.addEventListener('drop', e => { e.preventDefault(); take_file(e.dataTransfer.files[0]); });
  $('speed').addEventListener('change', () => {
    rebase();
    speed = Number($('speed').value);
    apply_volume();
  });
  $('replay-restart').addEventListener('click', () => { fresh(); start(); });
  $('own').addEventListener('click', () => { watch = null; fresh(); start(); });
  const link = /^#replay=(.*)$/.exec(location.hash);
  if (link) pending = [() => orvalin_unpack(link[1]), 'link'];
  function start() {
    if (!servable || wanted || !ended.hidden) return;
    wanted = true;
    sound_gesture();
    show_sound_sign();
    run();
  }
  cover.addEventListener('click', start);
  $('restart').addEventListener('click', () => {
    fresh();
    start();
  });

  // The bar's buttons give the focus back, so that Space or Enter reach the
  // machine rather than press them again.
  for (const control of $('bar').querySelectorAll('button, input, select'))
    control.addEventListener(control.type === 'range' || control.tagName === 'SELECT' ? 'change' : 'click',
      () => control.blur());
  $('fullscreen').addEventListener('click', toggle_fullscreen);
  $('pause').addEventListener('click', () => { if (running) set_paused(!paused); });
  // Quit is the window's close button. A tab has none, and a click on it may
  // be a slip: it asks first.
  const ask_quit = asking => { $('confirm').hidden = !asking; $('quit').hidden = asking; fit(); };
  $('quit').addEventListener('click', () => ask_quit(true));
  $('quit-no').addEventListener('click', () => ask_quit(false));
  $('quit-yes').addEventListener('click', () => { ask_quit(false); closing = true; set_paused(false); });

  const key_event = down => event => {
    if (!running) {
      if (down) held_before.add(event.code); else held_before.delete(event.code);
      if (down && !cover.hidden) start();
      return;
    }
    const code = keys.byDom[event.code];
    if (!code || asleep) return;
    if (ORVALIN_KEPT.some(name => K(name) === code) || (code === K('ENTER') && event.altKey)) {
      event.preventDefault();
    }
    press(sources.keyboard, code, down);
  };
  window.addEventListener('keydown', key_event(true));
  window.addEventListener('keyup', key_event(false));

  // Touch screens get buttons for the arrows, Space and Esc.
  const show_touch = () => {
    if (!$('move').hidden) return;
    $('move').hidden = $('act').hidden = $('help-touch').hidden = false;
    fit();
  };
  if (navigator.maxTouchPoints > 0 || matchMedia('(pointer: coarse)').matches) show_touch();
  window.addEventListener('touchstart', show_touch, { passive: true });
  for (const button of document.querySelectorAll('.pad button')) {
    const up = () => press(sources.touch, K(button.dataset.key), false);
    button.addEventListener('pointerdown', e => {
      e.preventDefault();
      button.setPointerCapture(e.pointerId);
      if (!asleep) press(sources.touch, K(button.dataset.key), true);
    });
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) button.addEventListener(type, up);
    button.addEventListener('contextmenu', e => e.preventDefault());
  }

  apply_volume();
  if (!servable) {
    cover_text.hidden = true;
    $('from-disk').hidden = false;
    $('single').href = single;
    return;
  }
  load();
}

orvalin_page(orvalin_program);

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
// fresh instance of the program.
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
  const keys = { byName: {}, byDom: {} };
  for (const line of list.split('\n')) {
    const [name, code, dom] = line.split(' ');
    if (!name) continue;
    keys.byName[name] = Number(code);
    keys.byDom[dom] = Number(code);
  }
  return keys;
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
  const key = code => sources.keyboard[code] || sources.touch[code] || sources.pad[code] ||
    presents - pressed_at[code] <= 1;
  const release_all = () => { sources.keyboard.fill(0); sources.touch.fill(0); };
  // Keys held when the machine starts (the one that started it, the Alt of
  // an Alt+Enter) are held for it from its first frame. They are kept by
  // physical key: the key list comes with the machine's start.
  const held_before = new Set();

  // One line under the help: "Paused", or a short notice.
  let notice_text = '', notice_timer = 0;
  const show_status = () => { $('status').textContent = paused ? 'Paused' : notice_text; };
  function notice(text) {
    notice_text = text;
    show_status();
    clearTimeout(notice_timer);
    notice_timer = setTimeout(() => { notice_text = ''; show_status(); }, ORVALIN_NOTICE_MS);
  }

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

  let machine_fullscreen = 0, t0 = 0, work_start = 0, sleeper = null;
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
    if (!running || shown === (machine_fullscreen !== 0)) return;
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
  audio.post = m => sink.player.message(m);
  // The sink plays out what the machine's clock has reached, when it wakes.
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
    if (audio.gain) audio.gain.gain.value = muted ? 0 : (volume.value / 100) ** 2;
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
  let asleep_since = 0;
  function set_asleep() {
    if (asleep === (paused || document.hidden)) return;
    asleep = !asleep;
    if (asleep) asleep_since = performance.now();
    else t0 += performance.now() - asleep_since;
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

  // The host's calls (host_web.cpp).
  const host = {
    start(list) {
      keys = orvalin_keys(list);
      for (const dom of held_before) if (keys.byDom[dom]) sources.keyboard[keys.byDom[dom]] = 1;
      held_before.clear();
      t0 = work_start = performance.now();
      sink.at = 0;
      fit();
      return context ? -1 : 0;
    },
    mode(fullscreen) {
      // The browser grants full screen only at a gesture (the Enter of an
      // Alt+Enter is one, until a request uses it up): without one the mode
      // is refused, rather than asked for in vain.
      if (fullscreen && !is_fullscreen() && (!document.fullscreenEnabled ||
        (navigator.userActivation && !navigator.userActivation.isActive))) return 0;
      machine_fullscreen = fullscreen;
      shown_change = -1;
      if (fullscreen && !is_fullscreen()) {
        // Refused (no recent click or key): the machine goes back to a window.
        screen.requestFullscreen().catch(() => follow(false));
      } else if (!fullscreen && is_fullscreen()) {
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
      if (probe && probe.present) {
        const held = [];
        for (let code = 1; code < ORVALIN_KEY_COUNT; code++) if (key(code)) held.push(code);
        probe.present(image, held, busy);
      }
    },
    title(text) { document.title = text; },
    closeRequested() { return closing ? -1 : 0; },
    displayChanged() { const shown = shown_change; shown_change = -1; return shown; },
    key(code) { return key(code) ? -1 : 0; },
    // Milliseconds of the machine's clock: the page's, less the time asleep.
    now() { return performance.now() - t0; },
    // The machine sleeps for `ms`, and on while the page is asleep.
    rest(ms) {
      busy += performance.now() - work_start;
      return new Promise(resolve => setTimeout(() => {
        sleeper = resolve;
        if (!asleep) waker.port2.postMessage(0);
      }, ms)).then(() => {
        work_start = performance.now();
        if (!audio.heard) drain();
      });
    },
    soundInstall() { return Context ? -1 : 0; },
    streamOpen(length) {
      audio.generation++;
      audio.queued = 0;
      audio.capacity = Math.max(2, Math.ceil(ORVALIN_STREAM_QUEUE / length));
      audio.post({ generation: audio.generation });
      return -1;
    },
    streamClose() {
      audio.generation++;
      audio.capacity = audio.queued = 0;
      audio.post({ generation: audio.generation });
    },
    streamFree() { return audio.capacity - audio.queued; },
    // Unsigned samples, silence at 0x8000, as floats around 0.
    streamPlay(samples) {
      const out = new Float32Array(samples.length);
      for (let i = 0; i < samples.length; i++) out[i] = (samples[i] - 32768) / 32768;
      if (probe && probe.samples) probe.samples(out);
      audio.queued++;
      audio.post({ generation: audio.generation, samples: out }, [out.buffer]);
    },
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
  let instance = null, ready = false;
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
  function load() {
    ready = false;
    cover_text.textContent = 'Loading...';
    instance = factory({ orvalin: host, noInitialRun: true, print() {}, printErr() {}, setStatus: progress,
      onAbort: what => show_error('The program stopped: ' + what) });
    instance.then(() => {
      ready = true;
      cover_text.textContent = 'Click or press a key to start';
      if (wanted) run();
    }, e => show_error('The program could not start: ' + (e && e.message || e)));
  }
  async function run() {
    if (running || !ready) return;
    const program = await instance;
    running = true;
    closing = false;
    presents = busy = 0;
    pressed_at.fill(-2);
    cover.hidden = ended.hidden = true;
    program.callMain([]);
  }
  function start() {
    if (!servable || wanted || !ended.hidden) return;
    wanted = true;
    sound_gesture();
    show_sound_sign();
    run();
  }
  cover.addEventListener('click', start);
  $('restart').addEventListener('click', () => {
    ended.hidden = true;
    cover.hidden = false;
    load();
    start();
  });

  // The bar's buttons give the focus back, so that Space or Enter reach the
  // machine rather than press them again.
  for (const control of $('bar').querySelectorAll('button, input'))
    control.addEventListener(control.type === 'range' ? 'change' : 'click', () => control.blur());
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

// The page around a program of the Orvalin machine: the host's browser side
// (host_web.cpp reaches it as Module.orvalin). It shows the picture
// on a canvas scaled by whole numbers, maps physical keys, touch buttons and
// a gamepad to the machine's keys, counts the 250 Hz ticks from the page's
// clock and plays the stream through WebAudio. Nothing runs and nothing
// plays before the first click or key; the program's end offers a restart,
// which starts a fresh instance of the program.
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

function orvalin_page(factory) {
  const $ = id => document.getElementById(id);
  const screen = $('screen'), canvas = $('canvas'), cover = $('cover'), ended = $('ended');
  const context = canvas.getContext('2d', { alpha: false });
  // Public for tests and measurements: counters of the run and hooks.
  const page = {
    presents: 0, busy: 0, underruns: 0, started: null, onpresent: null,
    tap: null, keylog: null, status: null, program: null,
  };
  window.orvalin = page;

  // Keys: each source holds its own; a key also stays held until a frame has
  // seen it, so that a tap shorter than a frame is not lost.
  const sources = { keyboard: new Uint8Array(ORVALIN_KEY_COUNT),
    touch: new Uint8Array(ORVALIN_KEY_COUNT), pad: new Uint8Array(ORVALIN_KEY_COUNT) };
  const pressed_at = new Float64Array(ORVALIN_KEY_COUNT).fill(-2);
  let keys = orvalin_keys('');
  const K = name => keys.byName[name];
  const press = (source, code, down) => {
    if (down && !source[code]) pressed_at[code] = page.presents;
    source[code] = down ? 1 : 0;
  };
  const key = code => sources.keyboard[code] || sources.touch[code] || sources.pad[code] ||
    page.presents - pressed_at[code] <= 1;
  const release_all = () => { sources.keyboard.fill(0); sources.touch.fill(0); };

  function poll_gamepads() {
    sources.pad.fill(0);
    for (const pad of navigator.getGamepads ? navigator.getGamepads() : []) {
      if (!pad || pad.mapping !== 'standard') continue;
      for (const [button, name] of ORVALIN_PAD)
        if (pad.buttons[button] && pad.buttons[button].pressed) press(sources.pad, K(name), true);
    }
  }

  // The canvas at the largest whole scale of device pixels that fits.
  function fit() {
    const ratio = window.devicePixelRatio || 1;
    const scale = Math.max(1, Math.floor(Math.min(screen.clientWidth * ratio / canvas.width,
      screen.clientHeight * ratio / canvas.height)));
    canvas.style.width = canvas.width * scale / ratio + 'px';
    canvas.style.height = canvas.height * scale / ratio + 'px';
  }
  window.addEventListener('resize', fit);

  let machine_fullscreen = 0, running = false, closing = false, hidden = false;
  let t0 = 0, work_start = 0, sleeper = null;
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
  document.addEventListener('fullscreenchange', () => {
    fit();
    follow(is_fullscreen());
  });

  // Sound: one AudioContext for the page, made by the first click or key.
  const audio = { context: null, post: null, generation: 0, queued: 0, capacity: 0 };
  async function start_audio() {
    if (audio.context) return;
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return;
    let context;
    try { context = new Context({ sampleRate: 44100, latencyHint: 'interactive' }); } catch (e) { return; }
    audio.context = context;
    const report = m => {
      page.underruns += m.under;
      if (m.generation === audio.generation) audio.queued -= m.played;
    };
    let node;
    try {
      const url = URL.createObjectURL(new Blob([ORVALIN_WORKLET], { type: 'text/javascript' }));
      await context.audioWorklet.addModule(url);
      node = new AudioWorkletNode(context, 'orvalin-stream',
        { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [1] });
      node.port.onmessage = e => report(e.data);
      audio.post = (m, transfer) => node.port.postMessage(m, transfer);
    } catch (e) {
      // No worklet (an insecure page, an older browser): the same player on the page.
      const player = orvalin_stream_player(report);
      node = context.createScriptProcessor(1024, 0, 1);
      node.onaudioprocess = e => player.process(e.outputBuffer.getChannelData(0));
      audio.post = m => player.message(m);
    }
    node.connect(context.destination);
    await context.resume();
    // The machine starts once the audio flows: a stream that took nothing for
    // its first tenths of a second would play that late for the whole run.
    for (let i = 0; i < 100 && context.currentTime === 0; i++) await new Promise(r => setTimeout(r, 10));
  }

  // While the page is hidden the machine's clock stands still: coming back, it
  // finds no backlog of ticks, and no frame runs early to drop one.
  let hidden_since = 0;
  function show_hidden_state() {
    if (hidden === document.hidden) return;
    hidden = document.hidden;
    if (hidden) hidden_since = performance.now();
    else t0 += performance.now() - hidden_since;
    if (hidden) release_all();
    if (audio.context && running) hidden ? audio.context.suspend() : audio.context.resume();
    if (!hidden && sleeper) waker.port2.postMessage(0);
  }
  document.addEventListener('visibilitychange', show_hidden_state);
  window.addEventListener('blur', release_all);

  // The host's calls (host_web.cpp).
  const host = {
    start(list) {
      keys = orvalin_keys(list);
      t0 = work_start = performance.now();
      fit();
      return context ? -1 : 0;
    },
    mode(fullscreen) {
      if (fullscreen && !document.fullscreenEnabled) return 0;
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
      context.putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset,
        rgba.length), width, height), 0, 0);
      poll_gamepads();
      if (page.onpresent) page.onpresent(page.presents + 1, context);
      // From here on the keys held are the next frame's.
      page.presents++;
      if (page.keylog) {
        const held = [];
        for (let code = 1; code < ORVALIN_KEY_COUNT; code++) if (key(code)) held.push(code);
        page.keylog.push(held);
      }
    },
    title(text) { document.title = text; },
    closeRequested() { return closing ? -1 : 0; },
    displayChanged() { const shown = shown_change; shown_change = -1; return shown; },
    key(code) { return key(code) ? -1 : 0; },
    // Milliseconds of the machine's clock: the page's, less the time hidden.
    now() { return performance.now() - t0; },
    // The machine sleeps for `ms`, and on while the page is hidden.
    rest(ms) {
      page.busy += performance.now() - work_start;
      return new Promise(resolve => setTimeout(() => {
        sleeper = resolve;
        if (!hidden) waker.port2.postMessage(0);
      }, ms)).then(() => { work_start = performance.now(); });
    },
    soundInstall() { return audio.context ? -1 : 0; },
    streamOpen(length) {
      if (!audio.post) return 0;
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
      if (page.tap) page.tap.push(out.slice());
      audio.queued++;
      audio.post({ generation: audio.generation, samples: out }, [out.buffer]);
    },
    ended(status) {
      running = false;
      page.status = status;
      release_all();
      if (is_fullscreen()) document.exitFullscreen();
      ended.hidden = false;
      $('restart').focus();
    },
  };

  // A fresh instance of the program for every run: its memory starts as the
  // program expects it, whatever the last run left behind.
  let instance = null;
  const load = () => {
    instance = factory({ orvalin: host, noInitialRun: true,
      onAbort: what => { running = false; show_error('The program stopped: ' + what); } });
    instance.catch(e => show_error(String(e && e.message || e)));
  };
  function show_error(text) {
    cover.hidden = false;
    cover.textContent = location.protocol === 'file:'
      ? 'This page needs a web server (scripts/web.sh); the single-file version opens from disk.'
      : text;
  }
  async function run() {
    if (running) return;
    running = true;
    closing = false;
    cover.hidden = ended.hidden = true;
    page.presents = 0;
    page.busy = 0;
    pressed_at.fill(-2);
    if (page.started === null) page.started = performance.now();
    await start_audio();
    try {
      page.program = await instance;
    } catch (e) {
      running = false;  // the page already says why
      return;
    }
    page.program.callMain([]);
  }
  function start(event) {
    if (running || !ended.hidden) return;
    event.preventDefault();
    run();
  }
  cover.addEventListener('click', start);
  $('restart').addEventListener('click', () => { load(); run(); });
  // The bar's buttons give the focus back, so that Space or Enter reach the
  // machine rather than press them again.
  $('fullscreen').addEventListener('click', e => { e.currentTarget.blur(); toggle_fullscreen(); });
  $('quit').addEventListener('click', e => { e.currentTarget.blur(); closing = true; });

  const key_event = down => event => {
    const code = keys.byDom[event.code];
    if (!running) {
      if (down && !cover.hidden) start(event);
      return;
    }
    if (!code) return;
    if (ORVALIN_KEPT.some(name => K(name) === code) || (code === K('ENTER') && event.altKey)) {
      event.preventDefault();
    }
    press(sources.keyboard, code, down);
  };
  window.addEventListener('keydown', key_event(true));
  window.addEventListener('keyup', key_event(false));

  // Touch screens get buttons for the arrows, Space and Esc.
  const touch = $('touch');
  const show_touch = () => { touch.hidden = false; };
  if (navigator.maxTouchPoints > 0 || matchMedia('(pointer: coarse)').matches) show_touch();
  window.addEventListener('touchstart', show_touch, { passive: true });
  for (const button of touch.querySelectorAll('button')) {
    const up = () => press(sources.touch, K(button.dataset.key), false);
    button.addEventListener('pointerdown', e => {
      e.preventDefault();
      button.setPointerCapture(e.pointerId);
      press(sources.touch, K(button.dataset.key), true);
    });
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) button.addEventListener(type, up);
    button.addEventListener('contextmenu', e => e.preventDefault());
  }

  fit();
  load();
}

orvalin_page(orvalin_program);

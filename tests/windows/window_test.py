"""quadrillo.exe under Wine, in the X server that tools/windows/test.sh starts:
the window titled "Orvalin: Quadrillo" opens at 640 x 480 and shows the logo
intro; after SPACE it shows the playfield of a new game (compared with the
Linux quadrillo-replay's picture of the same state); the close message ends
the program with status 0. With an audio sink (QUADRILLO_SINK, PulseAudio,
which Wine plays into) the music must be heard. Screenshots go to the out
folder.

Wine converts the 8-bit picture through DirectDraw, whose 6-bit to 8-bit
palette scaling may round differently from the PNG writer's, so colours are
compared with a small tolerance rather than exactly.

Usage: window_test.py WINE_RUN QUADRILLO_EXE QUADRILLO_REPLAY XWIN DATA_DIR OUT_DIR
Exits 77 (skipped) without DISPLAY."""
import os
import struct
import subprocess
import sys
import time
import zlib

import desktop

desktop.require_desktop()
wine_run, program, replay, xwin, data, out = sys.argv[1:7]
os.makedirs(out, exist_ok=True)

TOLERANCE = 8       # per colour component, 0..255
BOARD_RIGHT = 140   # machine pixels left of this hold the board and its piece


def write_png(picture, path):
    width, height, rgb = picture
    rows = b"".join(b"\0" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def replay_frame(keys, frame, name):
    """The picture the Linux quadrillo-replay presents in loop frame `frame`."""
    folder = os.path.join(out, name)
    script = os.path.join(out, name + ".keys")
    with open(script, "w") as f:
        f.write("\n".join(keys) + "\n")
    subprocess.run([replay, "--data", data, "--keys", script, "--frames", str(frame),
                    "--out", folder, "--png", str(frame)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return desktop.read_png(os.path.join(folder, "frame-%d.png" % frame))


def close(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def mismatches(grab, reference, x0, x1):
    """Machine pixels in columns x0..x1-1 whose window colour (each machine
    pixel is shown as 2 x 2) is not that of the reference."""
    return sum(1 for y in range(240) for x in range(x0, x1)
               if not close(desktop.pixel(grab, 2 * x, 2 * y), desktop.pixel(reference, x, y)))


def distinct_colours(grab):
    _, _, rgb = grab
    return len({rgb[i:i + 3] for i in range(0, len(rgb), 3)})


# The playfield of a new game, its piece not yet in the board.
playfield = replay_frame([""] * 59 + ["SPACE", ""], 61, "playfield")
backdrop_pixels = (320 - BOARD_RIGHT) * 240

recorder = None
if os.environ.get("QUADRILLO_SINK"):
    recording_path = os.path.join(out, "sink.raw")
    recorder = desktop.start_recording(recording_path)
process = subprocess.Popen([wine_run, program], cwd=data,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
grab_path = os.path.join(out, "grab.ppm")
try:
    begin = time.monotonic()
    # Wine itself may take a while to start on a loaded host.
    window = desktop.find_window("Orvalin: Quadrillo", timeout=90)
    if window is None:
        desktop.fail("no window titled 'Orvalin: Quadrillo'")
    print("window after %.1f s" % (time.monotonic() - begin))
    if desktop.window_size(window) != (640, 480):
        desktop.fail("window is %r, not 640 x 480" % (desktop.window_size(window),))

    def settle(check, timeout):
        """Polls the window until check(grab) holds or the time is up."""
        deadline = time.monotonic() + timeout
        while True:
            grab = desktop.grab(xwin, window, grab_path)
            if check(grab) or time.monotonic() > deadline:
                return grab

    # The logo intro follows 75 black start-up frames: a light plain fill.
    intro = settle(lambda g: distinct_colours(g) > 2 and desktop.pixel(g, 4, 4)[0] > 150, 15)
    write_png(intro, os.path.join(out, "intro.png"))
    if distinct_colours(intro) <= 2:
        desktop.fail("the window stays blank: no intro")
    intro_bad = mismatches(intro, playfield, BOARD_RIGHT, 320)
    print("intro: %d colours, %d of %d backdrop pixels unlike the playfield"
          % (distinct_colours(intro), intro_bad, backdrop_pixels))
    if intro_bad < backdrop_pixels // 2:
        desktop.fail("the intro already looks like the playfield")

    desktop.press(window, "space")
    play = settle(lambda g: mismatches(g, playfield, BOARD_RIGHT, 320) == 0, 10)
    write_png(play, os.path.join(out, "play.png"))
    bad = mismatches(play, playfield, BOARD_RIGHT, 320)
    board_bad = mismatches(play, playfield, 0, BOARD_RIGHT)
    print("after SPACE: %d backdrop and score pixels and %d board pixels differ from the replay"
          % (bad, board_bad))
    if bad:
        desktop.fail("the play screen's backdrop and score lines differ from the replay")
    if board_bad > 4 * 13 * 13:
        desktop.fail("the board holds more than one falling piece")

    begin = time.monotonic()
    desktop.close_window(xwin, window)
    try:
        status = process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        desktop.fail("the close message did not end the program within 15 s")
    print("closed after %.1f s with status %d" % (time.monotonic() - begin, status))
    if status != 0:
        desktop.fail("exit status %d" % status)

    if recorder:
        recorder.terminate()
        recorder.wait()
        samples = desktop.read_samples(recording_path)
        loud = max((abs(v) for v in samples), default=0)
        print("sink: %d samples recorded, peak %d" % (len(samples), loud))
        if len(samples) < 44100 or loud < 300:
            desktop.fail("the sink's recording is silent while music plays")
finally:
    desktop.stop(process)
    if recorder:
        desktop.stop(recorder)
print("PASS")

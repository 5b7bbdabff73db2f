# quadrillo.exe under Wine, in the X server that tools/windows/test.sh starts:
# the Windows build's window titled "Orvalin: Quadrillo" opens at 640 x 480;
# SPACE, read through the Windows keyboard, shows the playfield of a new game as
# the Linux quadrillo-replay draws it (through DirectDraw, whose 6-bit to 8-bit
# palette scaling may round differently, so colours match within a tolerance);
# the close message ends the program with status 0; with an audio sink
# (QUADRILLO_SINK, which Wine plays into) the music is heard. Screenshots go to
# the out folder.
#
# Usage: window_test.py WINE_RUN QUADRILLO_EXE QUADRILLO_REPLAY DATA_DIR OUT_DIR
# Exits 77 (skipped) without DISPLAY.
import os
import subprocess
import sys
import time

import numpy as np
from PIL import Image

import desktop

desktop.require_desktop()
wine_run, program, replay, data, out = sys.argv[1:6]
os.makedirs(out, exist_ok=True)
TOLERANCE, BOARD_RIGHT = 8, 140  # per colour component; machine columns left of 140 hold the board


def shown(window):
    # The window's picture as machine pixels (each shown as 2 x 2).
    grab = desktop.grab(window, os.path.join(out, "grab.ppm"))
    if isinstance(grab, tuple):
        width, height, rgb = grab
        grab = np.frombuffer(rgb, np.uint8).reshape(height, width, 3)
    return np.asarray(grab)[::2, ::2, :3]


def differing(picture, x0, x1):
    diff = np.abs(picture[:, x0:x1].astype(int) - playfield[:, x0:x1].astype(int))
    return int((diff > TOLERANCE).any(axis=2).sum())


# The playfield of a new game, its piece not yet in the board.
with open(os.path.join(out, "playfield.keys"), "w") as f:
    f.write("\n" * 59 + "SPACE\n\n")
subprocess.run([replay, "--data", data, "--keys", f.name, "--frames", "61", "--out", os.path.join(out, "playfield"),
                "--png", "61"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
playfield = np.asarray(Image.open(os.path.join(out, "playfield", "frame-61.png")).convert("RGB"))

recorder, recording = None, os.path.join(out, "sink.raw")
if os.environ.get("QUADRILLO_SINK"):
    recorder = desktop.start_recording(recording)
process = subprocess.Popen([wine_run, program], cwd=data, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    window = desktop.find_window("Orvalin: Quadrillo", timeout=90)  # Wine may start slowly
    if window is None:
        desktop.fail("no window titled 'Orvalin: Quadrillo'")
    if desktop.window_size(window) != (640, 480):
        desktop.fail("window is %r, not 640 x 480" % (desktop.window_size(window),))
    deadline = time.monotonic() + 30  # the 75 black start-up frames, then the intro's white fill
    while shown(window).max() < 150 and time.monotonic() < deadline:
        time.sleep(0.1)
    desktop.press(window, "space")
    deadline = time.monotonic() + 10
    while differing(play := shown(window), BOARD_RIGHT, 320) and time.monotonic() < deadline:
        pass
    Image.fromarray(play).save(os.path.join(out, "play.png"))
    bad, board_bad = differing(play, BOARD_RIGHT, 320), differing(play, 0, BOARD_RIGHT)
    print("after SPACE: %d backdrop and score pixels and %d board pixels differ from the replay" % (bad, board_bad))
    if bad or board_bad > 4 * 13 * 13:
        desktop.fail("the play screen differs from the replay's new game (or holds more than one piece)")

    desktop.close_window(window)
    if process.wait(timeout=15) != 0:  # a timeout fails the test too
        desktop.fail("exit status %d" % process.returncode)
    if recorder:
        recorder.terminate()
        recorder.wait()
        samples = np.fromfile(recording, dtype="<i2")
        if len(samples) < 22050 or np.abs(samples).max(initial=0) < 300:
            desktop.fail("the sink's recording is silent while music plays")
finally:
    desktop.stop(process)
    if recorder:
        desktop.stop(recorder)
print("PASS")

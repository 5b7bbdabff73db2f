# Orvalin: Quadrillo end to end, in the X server and audio sink that
# scripts/test.sh starts, as a player runs it: the game in a working folder
# holding a copy of data/; SPACE in the logo intro shows the playfield of a new
# game (as quadrillo-replay draws it); the arrow keys move the piece by one
# column; ESC shows the title menu (as replayed); the sink hears the music; the
# close button ends it with status 0. The run writes nothing: the working
# folder is as it was, and nothing was printed on stdout or stderr.
#
# Usage: game_window_test.py QUADRILLO QUADRILLO_REPLAY DATA_DIR
# Exits 77 (skipped) without DISPLAY or QUADRILLO_SINK.
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

import desktop

desktop.require_desktop(sound=True)
program, replay, data = sys.argv[1:4]
work = tempfile.mkdtemp(prefix="quadrillo-e2e-")
CELL, ORIGIN = 13, 3  # board cell (c, r) covers machine pixels 3 + 13c .. 15 + 13c


def replay_frame(keys):
    # The picture quadrillo-replay presents in the last frame of `keys`, as
    # machine pixels (240 x 320 x RGB).
    script, out = os.path.join(work, "replay.keys"), os.path.join(work, "replay")
    with open(script, "w") as f:
        f.write("\n".join(keys) + "\n")
    subprocess.run([replay, "--data", data, "--keys", script, "--frames", str(len(keys)), "--out", out,
                    "--png", str(len(keys))], check=True, stdout=subprocess.DEVNULL)
    return np.asarray(Image.open(os.path.join(out, "frame-%d.png" % len(keys))).convert("RGB"))


def settle(check, timeout):
    # Polls the window's picture, as machine pixels (each shown as 2 x 2),
    # until check(picture) holds or the time is up: the host may be loaded and
    # the machine then runs slower than real time. Returns the last picture.
    deadline = time.monotonic() + timeout
    while True:
        grab = desktop.grab(window, os.path.join(work, "grab.ppm"))
        if isinstance(grab, tuple):
            grab = np.frombuffer(grab[2], np.uint8).reshape(grab[1], grab[0], 3)
        picture = np.asarray(grab)[::2, ::2, :3]
        if check(picture) or time.monotonic() > deadline:
            return picture


def differing(picture, reference, x0, x1, y1=240):
    return int((picture[:y1, x0:x1] != reference[:y1, x0:x1]).any(axis=2).sum())


def cells(picture):
    # Board cells whose centre differs from the empty board of a new game.
    centre = lambda c, r: (ORIGIN + CELL * r + 6, ORIGIN + CELL * c + 6)
    return {(c, r) for c in range(10) for r in range(18) if (picture[centre(c, r)] != playfield[centre(c, r)]).any()}


# The playfield of a new game (before its piece is in the board) and the title
# menu (without its glittering scroller), as the replay draws them.
playfield = replay_frame([""] * 59 + ["SPACE", ""])
menu = replay_frame([""] * 60 + ["SPACE", "", "ESC", ""])
folder = os.path.join(work, "folder")
shutil.copytree(data, folder)
listing = lambda: sorted((e.name, e.stat().st_size, e.stat().st_mtime_ns) for e in os.scandir(folder))
before_run = listing()
recording = os.path.join(work, "sink.raw")
recorder = desktop.start_recording(recording)
# The X server has refused a start once in many runs on a loaded host: a
# start that ends at once is tried again, twice at most.
for attempt in range(3):
    process = subprocess.Popen([program], cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    window = desktop.find_window("Orvalin: Quadrillo", timeout=15)
    if window is not None or process.poll() is None:
        break
try:
    if window is None:
        desktop.fail("no window titled 'Orvalin: Quadrillo'")
    desktop.press(window, "space")
    bad = lambda p: (differing(p, playfield, 140, 320), differing(p, playfield, 0, 140))
    backdrop, board = bad(settle(lambda p: bad(p)[0] == 0 and bad(p)[1] <= 4 * CELL * CELL, 3))
    if backdrop or board > 4 * CELL * CELL:  # the falling piece may be in the board by now
        desktop.fail("after SPACE %d pixels of backdrop and score and %d of the board differ from the replay"
                     % (backdrop, board))
    # After the first gravity step the piece is in the board; each arrow moves
    # its cells by one column (it may fall a row meanwhile).
    before = cells(settle(lambda p: len(cells(p)) == 4, 3))
    if len(before) != 4:
        desktop.fail("the falling piece shows as %r" % sorted(before))
    for name, dx in (("Left", -1), ("Right", 1), ("Right", 1)):
        desktop.press(window, name)
        moved = [{(c + dx, r + dy) for c, r in before} for dy in (0, 1)]
        after = cells(settle(lambda p: cells(p) in moved, 1))
        if after not in moved:
            desktop.fail("%s: the piece went from %r to %r" % (name, sorted(before), sorted(after)))
        before = after
    desktop.press(window, "Escape")
    if differing(settle(lambda p: not differing(p, menu, 0, 320, 205), 2), menu, 0, 320, 205):
        desktop.fail("after ESC the title menu differs from the replay's")
    time.sleep(1.0)  # menu2.psg plays
    recorder.terminate()
    recorder.wait()
    samples = np.fromfile(recording, dtype="<i2")
    if len(samples) < 44100 or np.abs(samples).max(initial=0) < 300:
        desktop.fail("the sink's recording is silent while music plays")

    desktop.close_window(window)
    out, err = process.communicate(timeout=5)
    if process.returncode or out or err:
        desktop.fail("status %d after the close button, stdout %r, stderr %r" % (process.returncode, out, err))
    if listing() != before_run:
        desktop.fail("the working folder changed: %r" % sorted(set(listing()) ^ set(before_run)))
    print("playfield, moves and menu as replayed, music heard; closed with status 0, nothing printed or written")
finally:
    desktop.stop(process)
    desktop.stop(recorder)
    shutil.rmtree(work, ignore_errors=True)
print("PASS")

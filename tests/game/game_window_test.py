"""Orvalin: Quadrillo end to end, in the X server and audio sink that
scripts/test.sh starts: the game runs in its window from data/; SPACE in the
logo intro shows the playfield (compared with quadrillo-replay's picture of
the same state); arrow keys move the piece by one column; ESC shows the title
menu (compared with the replay's menu); the sink hears the music; the close
button ends the program with status 0 within one second.

Usage: game_window_test.py QUADRILLO QUADRILLO_REPLAY XWIN DATA_DIR
Exits 77 (skipped) without DISPLAY or QUADRILLO_SINK."""
import os
import subprocess
import sys
import tempfile
import time

import desktop

desktop.require_desktop(sound=True)
program, replay, xwin, data = sys.argv[1:5]
work = tempfile.mkdtemp(prefix="quadrillo-e2e-")

# Board geometry in machine pixels: cell (c, r) covers 3 + 13c .. 15 + 13c.
CELL, ORIGIN, COLUMNS, ROWS = 13, 3, 10, 18


def replay_frame(keys, frame, name):
    """The picture quadrillo-replay presents in loop frame `frame` of `keys`."""
    folder = os.path.join(work, name)
    script = os.path.join(work, name + ".keys")
    with open(script, "w") as f:
        f.write("\n".join(keys) + "\n")
    subprocess.run([replay, "--data", data, "--keys", script, "--frames", str(frame),
                    "--out", folder, "--png", str(frame)], check=True)
    return desktop.read_png(os.path.join(folder, "frame-%d.png" % frame))


def window_at(grab, x, y):
    """The window's colour of machine pixel (x, y): the window shows each
    machine pixel as 2 x 2."""
    return desktop.pixel(grab, 2 * x, 2 * y)


def mismatches(grab, reference, x0, y0, x1, y1):
    bad = []
    for y in range(y0, y1):
        for x in range(x0, x1):
            if window_at(grab, x, y) != desktop.pixel(reference, x, y):
                bad.append((x, y))
    return bad


def occupied_cells(grab, backdrop):
    """Board cells whose centre differs from the empty board's picture."""
    cells = set()
    for c in range(COLUMNS):
        for r in range(ROWS):
            x, y = ORIGIN + CELL * c + 6, ORIGIN + CELL * r + 6
            if window_at(grab, x, y) != desktop.pixel(backdrop, x, y):
                cells.add((c, r))
    return cells


# What the game must show: the playfield of a new game (from the replay's
# first play frame, before the piece is written into the board) and the
# title menu without its glittering scroller.
playfield = replay_frame([""] * 59 + ["SPACE", ""], 61, "playfield")
menu = replay_frame([""] * 60 + ["SPACE", "", "ESC", ""], 64, "menu")

recording_path = os.path.join(work, "sink.raw")
recorder = desktop.start_recording(recording_path)

def start_game():
    """Starts the game; the X server has refused a start (the game said it
    could not open a display) once in many runs on a loaded host, so a start
    that ends at once is reported and tried again, twice at most."""
    for attempt in range(3):
        game = subprocess.Popen([program], cwd=data, stderr=subprocess.PIPE, text=True)
        found = desktop.find_window("Orvalin: Quadrillo", timeout=15)
        if found is not None or game.poll() is None:
            return game, found
        print("start %d ended with status %d: %s" % (attempt + 1, game.returncode,
                                                   game.stderr.read().strip()))
    return game, None


process, window = start_game()
try:
    # The title comes after the 75 black start-up frames; the intro then lasts
    # 4.8 s, time enough for SPACE.
    if window is None:
        desktop.fail("no window titled 'Orvalin: Quadrillo'")
    if desktop.window_size(window) != (640, 480):
        desktop.fail("window is %r, not 640 x 480" % (desktop.window_size(window),))
    time.sleep(0.3)
    desktop.press(window, "space")

    # The host may be loaded and the machine then runs slower than real time,
    # so each check polls the window for a while before it gives up.
    def settle(check, timeout):
        deadline = time.monotonic() + timeout
        while True:
            result = check(desktop.grab(xwin, window, os.path.join(work, "grab.ppm")))
            if result[0] or time.monotonic() > deadline:
                return result
            time.sleep(0.05)

    def playfield_shown(grab):
        bad = mismatches(grab, playfield, 140, 0, 320, 240)
        board_bad = mismatches(grab, playfield, 0, 0, 140, 240)
        return not bad and len(board_bad) <= 4 * CELL * CELL, bad, board_bad

    shown, bad, board_bad = settle(playfield_shown, 3.0)
    if bad:
        desktop.fail("%d pixels of the score lines and backdrop differ from the replay, first at %r"
                     % (len(bad), bad[0]))
    if not shown:
        desktop.fail("%d board pixels differ from the empty board: more than one piece"
                     % len(board_bad))
    print("playfield: backdrop, board and \"Score: 0\", \"Lines: 0\", \"Level: 0\" as replayed")

    # The first gravity step comes 0.5 s into the game; after it the piece is
    # in the board. Each arrow must move the same cells by one column (the
    # piece may fall a row meanwhile).
    found, before = settle(lambda g: (len(occupied_cells(g, playfield)) == 4,
                                      occupied_cells(g, playfield)), 3.0)
    if not found:
        desktop.fail("the falling piece shows as %r" % sorted(before))
    for keyname, dx in (("Left", -1), ("Right", 1), ("Right", 1)):
        desktop.press(window, keyname)

        def moved(grab):
            after = occupied_cells(grab, playfield)
            return any({(c + dx, r + dy) for c, r in before} == after for dy in (0, 1)), after

        ok, after = settle(moved, 1.0)
        if not ok:
            desktop.fail("%s: the piece went from %r to %r" % (keyname, sorted(before), sorted(after)))
        print("%s: piece cells %r -> %r" % (keyname, sorted(before), sorted(after)))
        before = after

    desktop.press(window, "Escape")
    ok, bad = settle(lambda g: (not mismatches(g, menu, 0, 0, 320, 205),
                                mismatches(g, menu, 0, 0, 320, 205)), 2.0)
    if not ok:
        desktop.fail("%d pixels of the title menu differ from the replay, first at %r"
                     % (len(bad), bad[0]))
    print("ESC: the title menu (title and help lines as replayed)")

    time.sleep(1.0)  # menu2.psg plays
    recorder.terminate()
    recorder.wait()
    samples = desktop.read_samples(recording_path)
    loud = max((abs(s) for s in samples), default=0)
    print("sink: %d samples recorded, peak %d" % (len(samples), loud))
    if len(samples) < 44100 or loud < 300:
        desktop.fail("the sink's recording is silent while music plays")

    begin = time.monotonic()
    desktop.close_window(xwin, window)
    try:
        status = process.wait(timeout=1.0)
    except subprocess.TimeoutExpired:
        desktop.fail("the close button did not end the program within 1 s")
    print("closed after %.2f s with status %d" % (time.monotonic() - begin, status))
    if status != 0:
        desktop.fail("exit status %d" % status)
finally:
    desktop.stop(process)
    desktop.stop(recorder)
print("PASS")

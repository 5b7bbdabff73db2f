# The machine in a real window, the one end-to-end check of window and close
# button: start-up shows black in a 640 x 480 window titled "Orvalin:
# Quadrillo"; a picture of all 256 colour bytes then shows stretched twice with
# the palette's colours; 250 presents take 5 s; Alt+Enter shows it full screen
# (320 x 240 pixel for pixel, or the 640 x 480 fallback) and back; the close
# button ends the program at once with status 0.
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

from PIL import Image
from Xlib import display

import desktop

desktop.require_desktop()
work = tempfile.mkdtemp(prefix="machine-window-")
expected = os.path.join(work, "expected.png")
process = subprocess.Popen([sys.argv[1], expected], stdout=subprocess.PIPE, text=True, cwd=work)
lines = []
threading.Thread(target=lambda: lines.extend(line.strip() for line in process.stdout), daemon=True).start()


def wait_for(pattern, timeout, after=0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for line in lines[after:]:
            if re.match(pattern, line):
                return re.match(pattern, line)
        time.sleep(0.02)
    desktop.fail("no output matching %r within %.0f s; got %r" % (pattern, timeout, lines[-5:]))


def expect_picture(window, sizes, what):
    # `window` shows the machine's picture scaled to one of `sizes`, pixel for
    # pixel and centred, all else black; a fresh mode may take a few frames.
    deadline = time.monotonic() + 3
    while True:
        shown = desktop.grab(None, window, os.path.join(work, what + ".png"))
        for size in sizes:
            want = Image.new("RGB", shown[:2])
            picture = Image.open(expected).convert("RGB").resize(size, Image.NEAREST)
            want.paste(picture, ((shown[0] - size[0]) // 2, (shown[1] - size[1]) // 2))
            if want.tobytes() == shown[2]:
                return print("%s: the picture at %d x %d" % (what, size[0], size[1]))
        if time.monotonic() > deadline:
            desktop.fail("%s: %d x %d, not the picture at %r" % (what, shown[0], shown[1], sizes))
        time.sleep(0.1)


try:
    # During the 75 black frames the window exists, with Allegro's own title.
    window = desktop.find_window("Allegro", by="--class")
    deadline = time.monotonic() + 2
    while window and desktop.window_size(window) != (640, 480) and time.monotonic() < deadline:
        time.sleep(0.02)  # the window may be mapped before it takes its final size
    if window is None or desktop.window_size(window) != (640, 480):
        desktop.fail("no 640 x 480 window appeared")
    time.sleep(0.4)  # the window maps before its first clear and palette
    if "started" not in lines:
        start = desktop.grab(None, window)
        if any(start[2]):
            desktop.fail("the start-up frames are not black")
    wait_for(r"started$", 10)
    window = desktop.find_window("Orvalin: Quadrillo")
    if window is None:
        desktop.fail("no window titled 'Orvalin: Quadrillo'")
    expect_picture(window, [(640, 480)], "window")
    paced = float(wait_for(r"paced 250 ([0-9.]+)$", 20).group(1))
    print("250 presents took %.1f ms" % paced)
    if abs(paced - 5000.0) > 250.0:
        desktop.fail("250 frames took %.1f ms, not 5000 ms +- 5 %%" % paced)

    # Full screen, Allegro covers the whole X screen and centres the mode on it.
    screen = display.Display().screen().root.id
    for mode, sizes, where in ((-1, [(320, 240), (640, 480)], screen), (0, [(640, 480)], window)):
        seen = len(lines)
        desktop.press(window, "alt+Return")
        wait_for(r"frame \d+ fullscreen %d$" % mode, 5, seen)
        expect_picture(where, sizes, "fullscreen %d" % mode)

    begin = time.monotonic()
    desktop.close_window(None, window)
    try:
        status = process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        desktop.fail("the close button did not end the program")
    print("closed after %.2f s with status %d" % (time.monotonic() - begin, status))
    if status != 0 or "closed" not in lines:
        desktop.fail("exit status %d, output %r" % (status, lines[-2:]))
finally:
    desktop.stop(process)
print("PASS")

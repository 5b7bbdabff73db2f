# The machine in a real window, the one end-to-end check of window and close
# button: a 640 x 480 window titled "Orvalin: Quadrillo" shows a picture of all
# 256 colour bytes stretched twice with the palette's colours; 250 presents
# take 5 s; Alt+Enter shows it full screen (320 x 240 pixel for pixel, or the
# 640 x 480 fallback) and back; the close button ends the program at once
# with status 0.
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


def wait_for(pattern, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = [m for m in map(re.compile(pattern).match, lines) if m]
        if found:
            return found[0]
        time.sleep(0.02)
    desktop.fail("no output matching %r within %.0f s; got %r" % (pattern, timeout, lines[-5:]))


def expect_picture(window, sizes, what):
    # `window` shows the machine's picture scaled to one of `sizes`, pixel for
    # pixel and centred, all else black; a new mode takes a few frames.
    deadline = time.monotonic() + 3
    while True:
        try:
            shown = desktop.grab(window, os.path.join(work, what + ".png"))
        except Exception:  # a window that is not shown yet cannot be read
            shown = (0, 0, b"")
        for size in sizes:
            want = Image.new("RGB", shown[:2])
            corner = ((shown[0] - size[0]) // 2, (shown[1] - size[1]) // 2)
            want.paste(Image.open(expected).resize(size, Image.NEAREST), corner)
            if want.tobytes() == shown[2]:
                return print("%s: the picture at %d x %d" % (what, size[0], size[1]))
        if time.monotonic() > deadline:
            desktop.fail("%s: %d x %d, not the picture at %r" % (what, shown[0], shown[1], sizes))
        time.sleep(0.1)


try:
    wait_for(r"started$", 15)
    window = desktop.find_window("Orvalin: Quadrillo")
    if window is None or desktop.window_size(window) != (640, 480):
        desktop.fail("no 640 x 480 window titled 'Orvalin: Quadrillo'")
    expect_picture(window, [(640, 480)], "window")
    paced = float(wait_for(r"paced 250 ([0-9.]+)$", 20).group(1))
    if abs(paced - 5000.0) > 250.0:
        desktop.fail("250 frames took %.1f ms, not 5000 ms +- 5 %%" % paced)
    # Full screen, Allegro covers the whole X screen and centres the mode on it.
    screen = display.Display().screen().root.id
    for sizes, where, what in (([(320, 240), (640, 480)], screen, "full screen"), ([(640, 480)], window, "back")):
        desktop.press(window, "alt+Return")
        expect_picture(where, sizes, what)
    desktop.close_window(window)
    status = process.wait(timeout=5)  # quickly
    if status != 0 or "closed" not in lines:
        desktop.fail("exit status %d, output %r" % (status, lines[-2:]))
finally:
    desktop.stop(process)
print("PASS")

"""The machine in a real window: start-up shows black in a 640 x 480 window
titled "Orvalin: Quadrillo"; a picture of all 256 colour bytes then shows
stretched with the palette's exact colours; 250 presents take 5 s; Alt+Enter
toggles the display while presenting goes on; the close button ends it."""
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

import desktop

desktop.require_desktop()
program, xwin = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="machine-window-")
process = subprocess.Popen([program], stdout=subprocess.PIPE, text=True, cwd=work)
lines = []


def read_output():
    for line in process.stdout:
        lines.append(line.strip())


reader = threading.Thread(target=read_output, daemon=True)
reader.start()


def wait_for(pattern, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for line in list(lines):
            match = re.match(pattern, line)
            if match:
                return match
        time.sleep(0.02)
    desktop.fail("no output matching %r within %.0f s; got %r" % (pattern, timeout, lines[-5:]))


try:
    # During the 75 black frames the window exists, with Allegro's own title.
    deadline = time.monotonic() + 10
    window = None
    while window is None and time.monotonic() < deadline:
        out = subprocess.run(["xdotool", "search", "--class", "Allegro"],
                             capture_output=True, text=True).stdout.split()
        window = int(out[0]) if out else None
        time.sleep(0.02)
    if window is None:
        desktop.fail("no window appeared")
    # The window may be mapped before it takes its final size.
    deadline = time.monotonic() + 2
    while desktop.window_size(window) != (640, 480) and time.monotonic() < deadline:
        time.sleep(0.02)
    if desktop.window_size(window) != (640, 480):
        desktop.fail("window is %r, not 640 x 480" % (desktop.window_size(window),))
    time.sleep(0.4)  # the window maps before its first clear and palette
    if not any(line == "started" for line in lines):
        picture = desktop.grab(xwin, window, os.path.join(work, "start.ppm"))
        if any(picture[2]):
            desktop.fail("the start-up frames are not black")
    else:
        print("note: start-up ended before the first grab; black frames not checked")

    wait_for(r"started$", 10)
    window = desktop.find_window("Orvalin: Quadrillo")
    if window is None:
        desktop.fail("no window titled 'Orvalin: Quadrillo'")
    time.sleep(0.2)
    picture = desktop.grab(xwin, window, os.path.join(work, "picture.ppm"))
    if picture[:2] != (640, 480):
        desktop.fail("grab is %r" % (picture[:2],))
    wrong = 0
    for j in range(16):
        for i in range(16):
            want = desktop.palette_rgb(16 * j + i)
            # Each colour byte fills 20 x 15 machine pixels, 40 x 30 in the window.
            for x, y in ((40 * i, 30 * j), (40 * i + 39, 30 * j + 29), (40 * i + 20, 30 * j + 15)):
                if desktop.pixel(picture, x, y) != want:
                    wrong += 1
                    if wrong < 5:
                        print("colour byte %d at (%d, %d): %r, want %r"
                              % (16 * j + i, x, y, desktop.pixel(picture, x, y), want))
    if wrong:
        desktop.fail("%d sampled pixels differ from the palette" % wrong)

    paced = float(wait_for(r"paced 250 ([0-9.]+)$", 20).group(1))
    print("250 presents took %.1f ms" % paced)
    if abs(paced - 5000.0) > 250.0:
        desktop.fail("250 frames took %.1f ms, not 5000 ms +- 5 %%" % paced)

    for want_mode in (-1, 0):
        window = desktop.find_window("Orvalin: Quadrillo")
        desktop.press(window, "alt+Return")
        seen = len(lines)
        deadline = time.monotonic() + 5
        frames = []
        while time.monotonic() < deadline:
            frames = [l for l in lines[seen:] if l.startswith("frame ")]
            if len(frames) >= 2 and all(f.endswith("fullscreen %d" % want_mode) for f in frames[-2:]):
                break
            time.sleep(0.05)
        else:
            desktop.fail("after Alt+Enter: %r, want fullscreen %d and frames going on"
                         % (frames[-3:], want_mode))
        print("Alt+Enter: fullscreen %d, presenting goes on" % want_mode)

    window = desktop.find_window("Orvalin: Quadrillo")
    picture = desktop.grab(xwin, window, os.path.join(work, "after.ppm"))
    if desktop.pixel(picture, 40 * 3 + 5, 30 * 15 + 5) != desktop.palette_rgb(16 * 15 + 3):
        desktop.fail("the picture is gone after two toggles")

    begin = time.monotonic()
    desktop.close_window(xwin, window)
    try:
        status = process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        desktop.fail("the close button did not end the program")
    print("closed after %.2f s with status %d" % (time.monotonic() - begin, status))
    if status != 0:
        desktop.fail("exit status %d" % status)
finally:
    desktop.stop(process)
print("PASS")

"""The installed game as a desktop user starts it: install into a temporary
prefix, check the desktop entry, start the installed launcher from another
working directory, and see the window titled "Orvalin: Quadrillo" showing
the logo intro's white fill; the close button ends it."""
import os
import subprocess
import sys
import tempfile
import time

import desktop

build, xwin = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="quadrillo-install-")
prefix = os.path.join(work, "prefix")
subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
               stdout=subprocess.DEVNULL)

entry = os.path.join(prefix, "share", "applications", "orvalin-quadrillo.desktop")
check = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
if check.returncode != 0 or check.stdout.strip():
    desktop.fail("desktop-file-validate: %s %s" % (check.stdout, check.stderr))
with open(entry) as f:
    text = f.read()
for line in ("Name=Orvalin: Quadrillo", "Categories=Game;ArcadeGame;", "Icon=orvalin-quadrillo"):
    if line not in text.splitlines():
        desktop.fail("desktop entry lacks %r" % line)
for size in (32, 64, 128):
    icon = os.path.join(prefix, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                        "orvalin-quadrillo.png")
    with open(icon, "rb") as f:
        header = f.read(24)
    width = int.from_bytes(header[16:20], "big")
    height = int.from_bytes(header[20:24], "big")
    if header[:8] != b"\x89PNG\r\n\x1a\n" or (width, height) != (size, size):
        desktop.fail("icon %s is not a %d x %d PNG" % (icon, size, size))
print("installed; desktop entry and icons check out")

desktop.require_desktop()
elsewhere = os.path.join(work, "elsewhere")
os.mkdir(elsewhere)
launcher = os.path.join(prefix, "games", "orvalin-quadrillo")
game = subprocess.Popen([launcher], cwd=elsewhere)
try:
    window = desktop.find_window("Orvalin: Quadrillo", timeout=15)
    if window is None:
        desktop.fail("the installed game opened no window titled 'Orvalin: Quadrillo'")
    # The title is set after the 75 black frames; the intro's plain fill at
    # luma 15 follows: grey 59 of 63, 239 in the window.
    white = desktop.palette_rgb(0xF0)
    deadline = time.monotonic() + 5
    corner = None
    while time.monotonic() < deadline:
        picture = desktop.grab(xwin, window, os.path.join(work, "intro.ppm"))
        corner = desktop.pixel(picture, 10, 10)
        if corner == white and desktop.pixel(picture, 630, 470) == white:
            break
        time.sleep(0.1)
    else:
        desktop.fail("no white fill of the logo intro: corner %r" % (corner,))
    print("the installed launcher shows the logo intro")
    desktop.close_window(xwin, window)
    status = game.wait(timeout=5)
    if status != 0:
        desktop.fail("exit status %d" % status)
finally:
    desktop.stop(game)
print("PASS")

# The installed game as a desktop user starts it: installed into a temporary
# prefix, its desktop entry valid, the installed
# launcher started from another working directory finds its data and shows the
# logo intro's white fill in the window titled "Orvalin: Quadrillo".
import os
import subprocess
import sys
import tempfile
import time

import desktop

build = sys.argv[1]
work = tempfile.mkdtemp(prefix="quadrillo-install-")
prefix = os.path.join(work, "prefix")
subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
entry = os.path.join(prefix, "share", "applications", "orvalin-quadrillo.desktop")
check = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
lines = open(entry).read().splitlines()
for line in ("Name=Orvalin: Quadrillo", "Categories=Game;ArcadeGame;", "Icon=orvalin-quadrillo"):
    if check.returncode or check.stdout.strip() or line not in lines:
        desktop.fail("desktop entry: %r missing, or %s" % (line, check.stdout + check.stderr))

desktop.require_desktop()
game = subprocess.Popen([os.path.join(prefix, "games", "orvalin-quadrillo")], cwd=tempfile.mkdtemp(dir=work))
try:
    window = desktop.find_window("Orvalin: Quadrillo", timeout=15)
    if window is None:
        desktop.fail("the installed game opened no window titled 'Orvalin: Quadrillo'")
    # After the 75 black start-up frames the intro's plain fill at luma 15
    # (without its music found, the menu would come at once, on black).
    white, deadline = desktop.palette_rgb(0xF0), time.monotonic() + 5
    while desktop.pixel(desktop.grab(window, os.path.join(work, "intro.ppm")), 10, 10) != white:
        if time.monotonic() > deadline:
            desktop.fail("no white fill of the logo intro")
        time.sleep(0.1)
    print("the installed launcher shows the logo intro")
    desktop.close_window(window)
    if game.wait(timeout=5) != 0:
        desktop.fail("exit status %d" % game.returncode)
finally:
    desktop.stop(game)
print("PASS")

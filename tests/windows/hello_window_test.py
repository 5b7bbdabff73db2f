# orvalin-hello.exe from the example's zip under Wine, started as Explorer
# starts it (no arguments, in its own folder), in the X server that
# tools/windows/test.sh starts: a 640 x 480 window titled "Orvalin: hello"
# opens, and the close message ends it with status 0, which it gives only
# when it found its three data files in that folder.
#
# Usage: hello_window_test.py WINE_RUN FOLDER
import subprocess
import sys

import desktop

wine, folder = sys.argv[1:3]
hello = subprocess.Popen([wine, folder + "/orvalin-hello.exe"], cwd=folder)
try:
    window = desktop.find_window("Orvalin: hello", timeout=90)  # Wine starts slowly
    if window is None or desktop.grab(window).shape != (480, 640, 3):
        desktop.fail("no 640 x 480 window titled 'Orvalin: hello'")
    desktop.close_window(window)
    if hello.wait(timeout=15) != 0:
        desktop.fail("exit status %d after the close message" % hello.returncode)
finally:
    desktop.stop(hello)
print("PASS")

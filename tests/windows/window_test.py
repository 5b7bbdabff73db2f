# quadrillo.exe under Wine, in the X server and audio sink that
# tools/windows/test.sh starts: a 640 x 480 window titled "Orvalin: Quadrillo";
# SPACE, read through the Windows keyboard, shows the new game's playfield as
# the replay draws it (within 8 per colour component: DirectDraw may round
# the palette's 6-bit components otherwise, and the falling piece may be in
# the board) and the sink plays the replay's game music; the close message
# ends the program with status 0.
#
# Usage: window_test.py WINE_RUN QUADRILLO_EXE DATA_DIR REPLAY_OUT
# (REPLAY_OUT: the replay of SPACE in frame 60, with frame-61.png)
import os
import subprocess
import sys
import time

import numpy as np
from PIL import Image

import desktop
import sound_match

wine, program, data, replay = sys.argv[1:5]
playfield = np.asarray(Image.open(replay + "/frame-61.png").convert("RGB")).astype(int)
recorder = sound_match.Recorder(os.environ["QUADRILLO_SINK"])
game = subprocess.Popen([wine, program], cwd=data)
try:
    window = desktop.find_window("Orvalin: Quadrillo", timeout=90)  # Wine starts slowly
    if window is None or desktop.grab(window).shape != (480, 640, 3):
        desktop.fail("no 640 x 480 window titled 'Orvalin: Quadrillo'")
    time.sleep(5)  # the black start-up frames
    desktop.press(window, "space")
    pressed = time.monotonic()
    differ = lambda: (np.abs(desktop.grab(window)[::2, ::2] - playfield) > 8).any(axis=2)
    if not desktop.until(lambda: not differ()[:, 140:].any() and differ().sum() <= 4 * 13 * 13, 10):
        desktop.fail("after SPACE the screen is not the replay's new game")
    if sound_match.heard(recorder, pressed, sound_match.read_wav(replay + "/audio.wav")) < sound_match.MATCH:
        desktop.fail("the sink does not play the replay's game music")
    desktop.close_window(window)
    if game.wait(timeout=15) != 0:
        desktop.fail("exit status %d after the close message" % game.returncode)
finally:
    desktop.stop(game)
    desktop.stop(recorder.process)
print("PASS")

#!/usr/bin/env python3
"""Writes docs/screenshots.keys, the key script of the `screenshots` target.

The script is made by playing the real game through quadrillo-replay, one
piece at a time: each piece is turned and moved a few columns, then held down
until it locks, so the board fills with a spread of pieces. Then DOWN is held
until the game is over. Prints the frames worth photographing (title menu,
play, game over) for tools/data_files/CMakeLists.txt.

usage: screenshot_keys.py PATH/TO/quadrillo-replay   (run in the repository)
"""
import subprocess
import sys
import tempfile

REPLAY = sys.argv[1]
WORK = tempfile.mkdtemp()


def states(lines):
    """Game state after each frame when the keys of `lines` are played."""
    with open(WORK + "/keys.txt", "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([REPLAY, "--data", "data", "--keys", WORK + "/keys.txt", "--frames",
                    str(len(lines)), "--out", WORK + "/out"], check=True, stdout=subprocess.DEVNULL)
    with open(WORK + "/out/frames.txt") as f:
        return [int(line.split()[-1]) for line in f]


PLAY, GAME_OVER = 3, 6
TITLE_FRAME = 530                    # the title menu comes after menu1.psg, at frame 482
lines = [""] * 539 + ["SPACE"]       # lines[k - 1] holds the keys of frame k
for move in [-4, 3, 0, -2, 4, -3, 1, 2, -1, 3, -4, 0, 2]:
    slot = ["UP", ""] if move % 2 else []
    for _ in range(abs(move)):
        slot += ["LEFT" if move < 0 else "RIGHT", ""]
    start = len(lines)
    trial = lines + slot + ["DOWN"] * 80
    st = states(trial)
    lock = next(k for k in range(start + 1, len(st) + 1) if st[k - 1] != PLAY)
    lines = trial[:lock] + [""]
    while states(lines + [""])[len(lines) - 1] != PLAY:  # rows cleared: wait for the next piece
        lines.append("")
play_frame = len(lines) + 25
lines += [""] * 25 + ["DOWN"] * 600
st = states(lines)
over = next(k for k in range(play_frame, len(st) + 1) if st[k - 1] == GAME_OVER)
lines = lines[:over]
with open("docs/screenshots.keys", "w") as f:
    f.write("\n".join(lines) + "\n")
print("title menu %d, play %d, game over %d" % (TITLE_FRAME, play_frame, over + 40))

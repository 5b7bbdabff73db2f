#!/usr/bin/env python3
# The real game, through quadrillo-replay, with each of its seven data files
# replaced by bad input: missing, empty, cut at several points, much longer than
# expected, and random bytes (seeded). Every run must end normally with every
# frame presented 1..3 machine frames after the one before; without title music
# the menu comes in the first frame, without game music no game lasts past its
# first frame; and a copy of the good file gives exactly the good run.
#
# usage: bad_input.py REPLAY DATA_DIR WORK_DIR
import os
import random
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

FILES = ["tahoma.fnt", "logo.raw", "Quadrillo.raw", "beach.raw", "menu1.psg", "menu2.psg", "game.psg"]
FRAMES, MENU, PLAY = 400, 1, 3
replay, data, work = sys.argv[1:4]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)

# SPACE in the intro starts a game; random arrows with the fast drop lock
# pieces quickly; ESC goes back to the menu, SPACE starts a second game that
# usually ends in GAME OVER, and SPACE leaves that too.
rng = random.Random(8)
lines = [""] * FRAMES
for k in range(10, FRAMES):
    if rng.random() < 0.5:
        lines[k] = " ".join((["DOWN"] if rng.random() < 0.7 else []) + rng.sample(["LEFT", "RIGHT", "UP"], rng.randint(0, 2)))
lines[9], lines[150], lines[151:170], lines[170] = "SPACE", "ESC", [""] * 19, "SPACE"
lines[340::12] = ["SPACE"] * len(lines[340::12])
keys = os.path.join(work, "keys.txt")
with open(keys, "w") as f:
    f.write("\n".join(lines) + "\n")


def run(folder, out):
    result = subprocess.run([replay, "--data", folder, "--keys", keys, "--frames", str(FRAMES), "--out", out],
                            capture_output=True, text=True, timeout=600)
    path = os.path.join(out, "frames.txt")
    return result, [line.split() for line in open(path)] if os.path.exists(path) else []


result, good = run(data, os.path.join(work, "good"))
if result.returncode or len(good) != FRAMES or not any(int(f[2]) == PLAY for f in good):
    sys.exit("the good data does not replay a game: " + result.stderr)

rng = random.Random(20260601)
noise = lambda n: bytes(rng.getrandbits(8) for _ in range(n))
jobs = []
for name in FILES:
    content, size = open(os.path.join(data, name), "rb").read(), os.path.getsize(os.path.join(data, name))
    cases = [("copy", content), ("missing", None), ("empty", b"")]
    cases += [("cut-%d" % cut, content[:cut]) for cut in sorted({1, 3, 4, 5, size // 2, size - 1})]
    cases += [("long", content * 8 + noise(65536)), ("random", noise(size)), ("random-long", noise(4 * size + 4096))]
    if name.endswith(".psg"):  # the right magic, so the player plays the noise
        cases.append(("random-music", b"PSG\x1a" + noise(size)))
    if name.endswith(".fnt"):  # glyphs of 255 x 255, far more than the sprite memory holds
        cases.append(("huge-glyphs", b"".join(bytes([s, 255, 255]) + b"\x77" * (128 * 255) for s in range(32, 48))))
    for label, bytes_ in cases:
        folder = os.path.join(work, name + "-" + label)
        os.makedirs(folder)
        for other in FILES:
            if other != name:
                os.symlink(os.path.abspath(os.path.join(data, other)), os.path.join(folder, other))
        if bytes_ is not None:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(bytes_)
        jobs.append((name, label, folder, label in ("missing", "empty", "cut-1", "cut-3", "random", "random-long")))


def check(job):
    name, label, folder, silent = job
    result, frames = run(folder, folder + "-out")
    states = [int(f[2]) for f in frames]
    steps = {int(b[1]) - int(a[1]) for a, b in zip(frames, frames[1:])}
    problems = ["exit status %d: %s" % (result.returncode, result.stderr.strip()[-400:])] if result.returncode else []
    if len(frames) != FRAMES or not steps <= {1, 2, 3}:
        problems.append("%d frames, machine frames apart: %s" % (len(frames), steps))
    if name == "menu1.psg" and silent and states[:1] != [MENU]:
        problems.append("without title music the first frame is not the menu")
    if name == "game.psg" and silent and (PLAY not in states or any(
            a == PLAY and b == PLAY for a, b in zip(states, states[1:]))):
        problems.append("without game music a game did not start, or lasted past its first frame")
    if label == "copy" and frames != good:
        problems.append("a copy of the good file does not replay the good run")
    return "%-14s %-14s %s" % (name, label, "FAILED: " + "; ".join(problems) if problems else "ok"), bool(problems)


with ThreadPoolExecutor(max_workers=2) as pool:
    outcomes = list(pool.map(check, jobs))
print("\n".join(line for line, _ in outcomes))
failures = sum(failed for _, failed in outcomes)
print("%d runs of %d frames, %d failed" % (len(jobs), FRAMES, failures))
if not failures:
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)

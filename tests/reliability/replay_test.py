# The real game through quadrillo-replay under seeded random play that keeps
# starting games (SPACE), moving, turning and dropping pieces, leaving games
# (ESC). In every mode each run ends normally, presenting every frame 1..3
# machine frames after the one before.
#   bad-input: each of the seven data files missing, empty, cut, too long or
#     random: without title music the menu comes first, without game music no
#     game lasts past its first frame, and a copy of a file gives the good run;
#   soak: 120000 frames, 40 minutes of machine time across the wraps of
#     the cycle counter (every 2^32 cycles) and of the sound chip's tick
#     counter: the port writes' cycle stamps, unwrapped, agree with the
#     frames; 882 samples a frame, never half a second of still sound;
#     resident memory does not grow after the first tenth (not checked with
#     the sanitizers, which keep freed memory); at least 10 games.
# The sanitizer build (scripts/test.sh) runs both under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer.
#
# Usage: replay_test.py MODE REPLAY DATA_DIR WORK_DIR SANITIZED(0|1)
import os
import random
import shutil
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

mode, replay, data, work, sanitized = sys.argv[1:6]
FILES = ["tahoma.fnt", "logo.raw", "Quadrillo.raw", "beach.raw", "menu1.psg", "menu2.psg", "game.psg"]
MENU, PLAY, SAMPLES = 1, 3, 882
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
problems = []


def keys(seed, frames):
    rng, path = random.Random(seed), "%s/keys-%d.txt" % (work, seed)
    pick = lambda r: "" if r < 0.4 else "SPACE" if r < 0.43 else "ESC" if r < 0.432 else " ".join(
        ["DOWN"] * (rng.random() < 0.6) + rng.sample(["LEFT", "RIGHT", "UP"], rng.randint(0, 2)))
    open(path, "w").write("".join(pick(rng.random()) + "\n" for _ in range(frames)))
    return path


def run(folder, script, frames, out, *before):
    # The game's state after each frame, and the resident memory (KiB) every 50 ms.
    process = subprocess.Popen([*before, replay, "--data", folder, "--keys", script, "--frames", str(frames),
                                "--out", out], stderr=subprocess.PIPE, text=True)
    rss = []
    while process.poll() is None:
        rss += [int(l.split()[1]) for l in open("/proc/%d/status" % process.pid) if l.startswith("VmRSS:")]
        time.sleep(0.05)
    rows = [line.split() for line in open(out + "/frames.txt")] if process.returncode == 0 else []
    steps = {int(b[1]) - int(a[1]) for a, b in zip(rows, rows[1:])}
    if len(rows) != frames or not steps <= {1, 2, 3}:
        problems.append("%s: status %d, %d frames, steps %s: %s"
                        % (out, process.returncode, len(rows), steps, process.stderr.read()[-800:]))
    return [int(r[2]) for r in rows], rss


if mode == "bad-input":
    script = keys(8, 400)
    good = run(data, script, 400, work + "/good")[0]
    rng = random.Random(2026)
    noise = lambda n: bytes(rng.getrandbits(8) for _ in range(n))

    def check(name, label, body, silent):
        folder = "%s/%s-%s" % (work, name, label)
        shutil.copytree(data, folder, ignore=lambda *_: ["src", name])
        if body is not None:
            open(folder + "/" + name, "wb").write(body)
        states = run(folder, script, 400, folder + "-out")[0]
        if name == "menu1.psg" and silent and states[:1] != [MENU]:
            problems.append(folder + ": not the menu first")
        if name == "game.psg" and silent and (PLAY not in states or (PLAY, PLAY) in zip(states, states[1:])):
            problems.append(folder + ": no game, or one past its first frame")
        if label == "copy" and states != good:
            problems.append(folder + ": not the good run")

    cases = []
    for name in FILES:
        content = open(data + "/" + name, "rb").read()
        n = len(content)
        cases += [(name, "copy", content, False), (name, "missing", None, True), (name, "random", noise(n), True),
                  (name, "long", content * 8 + noise(65536), False)]
        cases += [(name, "cut-%d" % cut, content[:cut], cut < 4) for cut in {0, 1, 3, 5, n // 2, n - 1}]
        if name.endswith(".psg"):  # the right magic: the player plays the noise
            cases.append((name, "random-music", b"PSG\x1a" + noise(n), False))
        if name.endswith(".fnt"):  # glyphs of 255 x 255, more than the sprite memory holds
            cases.append((name, "huge", b"".join(bytes([s, 255, 255]) + b"w" * 32640 for s in range(32, 48)), False))
    with ThreadPoolExecutor(2) as pool:
        list(pool.map(lambda case: check(*case), cases))
    print("%d runs of bad data files" % len(cases))
else:
    frames, out = 120000, work + "/out"
    states, rss = run(data, keys(40, frames), frames, out)
    elapsed = int(open(out + "/frames.txt").readlines()[-1].split()[1])
    games = sum(b == PLAY and a not in (PLAY, PLAY + 1) for a, b in zip(states, states[1:]))
    cycles = np.loadtxt(out + "/ports.txt", usecols=0, dtype=np.int64)
    wraps, last = int((np.diff(cycles) < 0).sum()), (cycles[0] + (np.diff(cycles) % 2 ** 32).sum()) // 425448
    samples = np.fromfile(out + "/audio.wav", dtype="<i2", offset=44)
    halves = samples[76 * SAMPLES:][:(len(samples) - 76 * SAMPLES) // 22050 * 22050].reshape(-1, 22050)
    still = int((halves.min(axis=1) == halves.max(axis=1)).sum())
    growth = max(rss[len(rss) // 10:]) - rss[len(rss) // 10] if sanitized == "0" else 0
    print("games %d, cycle wraps %d, last write in frame %d of %d, samples %d, still half seconds %d, KiB grown %d"
          % (games, wraps, last, elapsed, len(samples), still, growth))
    if games < 10 or wraps != elapsed * 425448 // 2 ** 32 or abs(last - elapsed) > 2 or still or growth > 2048 \
            or abs(len(samples) - elapsed * SAMPLES) > 2 * SAMPLES:
        problems.append("soak")
for p in problems:
    print("FAIL:", p)
if not problems:
    shutil.rmtree(work)
sys.exit(1 if problems else 0)

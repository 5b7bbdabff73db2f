#!/usr/bin/env python3
"""The real game, through quadrillo-replay, with each of its seven data files
replaced by bad input: missing, empty, cut at several points, much longer than
expected, and random bytes (seeded). Every run must end normally with every
frame presented; the screens must follow the rules for absent music, and a
copy of the good file must give exactly the good run.

usage: bad_input.py REPLAY DATA_DIR WORK_DIR
"""
import os
import random
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

FILES = ["tahoma.fnt", "logo.raw", "Quadrillo.raw", "beach.raw",
         "menu1.psg", "menu2.psg", "game.psg"]
FRAMES = 400
STATE_TITLE_MENU, STATE_PLAY = 1, 3


def key_script(seed):
    """SPACE in the intro starts a game; random arrows with the fast drop
    held lock pieces quickly; ESC goes back to the title menu, SPACE starts
    a second game that usually ends in GAME OVER, and keys leave that too."""
    rng = random.Random(seed)
    lines = [""] * FRAMES
    lines[9] = "SPACE"
    for k in range(10, FRAMES):
        if rng.random() < 0.5:
            keys = ["DOWN"] if rng.random() < 0.7 else []
            keys += rng.sample(["LEFT", "RIGHT", "UP"], rng.randint(0, 2))
            lines[k] = " ".join(keys)
    lines[150] = "ESC"
    for k in range(151, 170):
        lines[k] = ""
    lines[170] = "SPACE"
    for k in range(340, FRAMES, 12):
        lines[k] = "SPACE"
    return "\n".join(lines) + "\n"


def variants(name, good, rng):
    """(label, bytes or None for a missing file) for one data file."""
    size = len(good)
    out = [("missing", None), ("empty", b"")]
    for cut in sorted({1, 3, 4, 5, size // 2, size - 1}):
        if 0 < cut < size:
            out.append((f"cut-{cut}", good[:cut]))
    # Far longer than the game expects: the file eight times over, then
    # random bytes (a PSG file then plays its magic and header as commands).
    out.append(("long", good * 8 + bytes(rng.getrandbits(8) for _ in range(65536))))
    out.append(("random", bytes(rng.getrandbits(8) for _ in range(size))))
    out.append(("random-long", bytes(rng.getrandbits(8) for _ in range(4 * size + 4096))))
    if name.endswith(".psg"):
        # The right magic, so the player plays the noise.
        out.append(("random-music", b"PSG\x1a" + bytes(rng.getrandbits(8) for _ in range(size))))
    if name.endswith(".fnt"):
        # Records of the largest glyphs (255 x 255): far more than the sprite
        # memory holds; the ones that fit are loaded.
        big = b"".join(bytes([s, 255, 255]) + bytes([0x77]) * (128 * 255) for s in range(32, 48))
        out.append(("huge-glyphs", big))
    return out


def run(replay, data, keys, out):
    result = subprocess.run([replay, "--data", data, "--keys", keys, "--frames", str(FRAMES),
                             "--out", out], capture_output=True, text=True, timeout=600)
    frames = []
    path = os.path.join(out, "frames.txt")
    if os.path.exists(path):
        with open(path) as f:
            frames = [line.split() for line in f]
    return result, frames


def check(label, name, result, frames, baseline):
    problems = []
    if result.returncode != 0:
        problems.append(f"exit status {result.returncode}: {result.stderr.strip()[-400:]}")
    if len(frames) != FRAMES:
        problems.append(f"{len(frames)} frames, not {FRAMES}")
    # Each loop frame is one machine frame, or a few more when its work (the
    # creation of the 320 x 240 backdrop costs 614460 cycles) crosses frame ends.
    for k in range(1, len(frames)):
        step = int(frames[k][1]) - int(frames[k - 1][1])
        if not 1 <= step <= 3:
            problems.append(f"frame {k + 1} comes {step} machine frames after the one before")
            break
    states = [int(f[2]) for f in frames]
    missing_music = label in ("missing", "empty", "cut-1", "cut-3") or \
        (label == "random" and name.endswith(".psg")) or \
        (label == "random-long" and name.endswith(".psg"))
    if name == "menu1.psg" and missing_music and states and states[0] != STATE_TITLE_MENU:
        problems.append(f"without title music the first frame is in state {states[0]}, not the title menu")
    if name == "game.psg" and missing_music:
        plays = [k for k, s in enumerate(states) if s == STATE_PLAY]
        if not plays:
            problems.append("no game started")
        if any(states[k + 1] == STATE_PLAY for k in plays if k + 1 < len(states)):
            problems.append("without game music a game lasted more than its first frame")
    if label == "copy" and frames != baseline:
        problems.append("a copy of the good file does not replay the good run")
    return problems


def main():
    replay, data, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    keys = os.path.join(work, "keys.txt")
    with open(keys, "w") as f:
        f.write(key_script(8))

    result, baseline = run(replay, data, keys, os.path.join(work, "good"))
    if result.returncode != 0 or len(baseline) != FRAMES:
        print("the good data does not replay:", result.stderr)
        return 1
    if not any(int(f[2]) == STATE_PLAY for f in baseline):
        print("the key script starts no game with the good data")
        return 1

    rng = random.Random(20260601)
    jobs = []
    for name in FILES:
        with open(os.path.join(data, name), "rb") as f:
            good = f.read()
        for label, content in [("copy", good)] + variants(name, good, rng):
            case = os.path.join(work, f"{name}-{label}")
            folder = os.path.join(case, "data")
            os.makedirs(folder)
            for other in FILES:
                if other != name:
                    os.symlink(os.path.abspath(os.path.join(data, other)), os.path.join(folder, other))
            if content is not None:
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(content)
            jobs.append((name, label, folder, os.path.join(case, "out")))

    def one(job):
        name, label, folder, out = job
        result, frames = run(replay, folder, keys, out)
        return name, label, check(label, name, result, frames, baseline)

    failures = 0
    with ThreadPoolExecutor(max_workers=2) as pool:
        for name, label, problems in pool.map(one, jobs):
            status = "ok" if not problems else "FAILED: " + "; ".join(problems)
            print(f"{name:14} {label:14} {status}")
            failures += bool(problems)
    print(f"{len(jobs)} runs of {FRAMES} frames, {failures} failed")
    if failures == 0:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

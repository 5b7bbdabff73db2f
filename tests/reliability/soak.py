#!/usr/bin/env python3
# Soak: the real game through quadrillo-replay for 120000 frames (40 minutes
# of machine time) of seeded random play that keeps starting new games, across
# eleven wraps of the machine's cycle counter (every 2^32 cycles, 201.9 s) and
# the wrap of the sound chip's tick counter (2^32 ticks, 1211.4 s). Every frame
# is presented 1..3 machine frames after the one before; the port writes' cycle
# stamps, unwrapped, agree with the frame count; the sound has 882 samples per
# frame and never stands still for a second; resident memory does not grow after
# the first tenth of the run; and it runs faster than real time.
#
# usage: soak.py REPLAY DATA_DIR WORK_DIR [FRAMES] [--sanitized]
# With --sanitized (AddressSanitizer keeps freed memory in quarantine) resident
# memory is reported, not checked.
import os
import random
import shutil
import subprocess
import sys
import time

import numpy as np

FRAME_CYCLES, WRAP, SAMPLES_PER_FRAME, START_FRAMES = 425448, 1 << 32, 882, 75


def key_script(seed, frames):
    # Seeded random keys that keep the game busy: pieces moved, turned and
    # dropped fast so games end quickly, SPACE now and then to start a new
    # game, ESC now and then to leave one, and frames without keys so that
    # key latches release. (tests/reliability/full_game.keys is seed 1, 3000
    # frames.)
    rng, out = random.Random(seed), []
    for _ in range(frames):
        r = rng.random()
        keys = [] if r < 0.40 else ["SPACE"] if r < 0.43 else ["ESC"] if r < 0.432 else \
            (["DOWN"] if rng.random() < 0.6 else []) + rng.sample(["LEFT", "RIGHT", "UP"], rng.randint(0, 2))
        out.append(" ".join(keys))
    return "\n".join(out) + "\n"



sanitized = "--sanitized" in sys.argv
args = [a for a in sys.argv[1:] if a != "--sanitized"]
replay, data, work = args[0:3]
frames = int(args[3]) if len(args) > 3 else 120000
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
keys, out = os.path.join(work, "keys.txt"), os.path.join(work, "out")
with open(keys, "w") as f:
    f.write(key_script(40, frames))

started = time.monotonic()
process = subprocess.Popen([replay, "--data", data, "--keys", keys, "--frames", str(frames), "--out", out],
                           stderr=subprocess.PIPE, text=True)
rss = []  # (seconds since start, KiB)
while process.poll() is None:
    try:
        with open("/proc/%d/status" % process.pid) as f:
            rss += [(time.monotonic() - started, int(l.split()[1])) for l in f if l.startswith("VmRSS:")]
    except OSError:
        pass
    time.sleep(0.25)
wall = time.monotonic() - started
problems = [] if process.returncode == 0 else ["exit status %d: %s" % (process.returncode, process.stderr.read())]

rows = [line.split() for line in open(os.path.join(out, "frames.txt"))]
elapsed = np.array([int(r[1]) for r in rows])
states = [int(r[2]) for r in rows]
if len(rows) != frames or not set(np.diff(elapsed).tolist()) <= {1, 2, 3}:
    problems.append("%d frames presented of %d, machine frames apart: %s" % (len(rows), frames, set(np.diff(elapsed))))
games = sum(1 for a, b in zip(states, states[1:]) if b == 3 and a not in (3, 4))
machine_frames = int(elapsed[-1])

# The cycle counter at every port write, unwrapped: it only moves forwards,
# by at most a 255-frame music skip, and wraps as often as the time says.
cycles = np.loadtxt(os.path.join(out, "ports.txt"), usecols=0, dtype=np.int64)
step = np.diff(cycles) % WRAP
wraps, expected_wraps = int((np.diff(cycles) < 0).sum()), machine_frames * FRAME_CYCLES // WRAP
last_frame = (cycles[0] + step.sum()) // FRAME_CYCLES
if step.max() > 260 * FRAME_CYCLES or wraps != expected_wraps or abs(last_frame - machine_frames) > 2:
    problems.append("cycle stamps: %d wraps (%d expected), largest step %d, last write in frame %d of %d"
                    % (wraps, expected_wraps, step.max(), last_frame, machine_frames))

# The sound: 882 samples a frame; no 10 ms block after the silent start-up
# frames in which the output stands still, 100 blocks in a row.
samples = np.fromfile(os.path.join(out, "audio.wav"), dtype="<i2", offset=44)
if abs(len(samples) - machine_frames * SAMPLES_PER_FRAME) > 2 * SAMPLES_PER_FRAME:
    problems.append("%d samples for %d frames" % (len(samples), machine_frames))
blocks = samples[(START_FRAMES + 1) * SAMPLES_PER_FRAME:]
blocks = blocks[:len(blocks) // 441 * 441].reshape(-1, 441)
still = np.concatenate(([0], (blocks.min(axis=1) == blocks.max(axis=1)).astype(np.int8), [0]))
edges = np.flatnonzero(np.diff(still))
longest = int((edges[1::2] - edges[::2]).max(initial=0)) / 100
if longest >= 1.0:
    problems.append("the sound stood still for %.2f s" % longest)

settled = [kib for t, kib in rss if t >= wall / 10]
growth = max(settled) - settled[0] if settled else 0
if growth > 2048 and not sanitized:
    problems.append("resident memory grew by %d KiB after the first tenth of the run" % growth)
speed = machine_frames / 50 / wall
print("%d frames (%.1f min of machine time) in %.1f s, %.1f x real time; %d games; %d cycle wraps; "
      "longest still sound %.2f s; resident memory grew %d KiB" % (len(rows), machine_frames / 3000, wall, speed,
                                                                  games, wraps, longest, growth))
if speed <= 1 or games < 10:
    problems.append("%.1f x real time (must be faster), %d games started (at least 10)" % (speed, games))
print("\n".join("FAILED: " + p for p in problems) or "ok")
if not problems:
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if problems else 0)

#!/usr/bin/env python3
"""Soak: the real game through quadrillo-replay for 120000 frames (40 minutes
of machine time) with seeded random play that keeps starting new games, so
the run passes eleven wraps of the machine's cycle counter (every 2^32 cycles,
201.9 s) and the wrap of the sound chip's tick counter (2^32 sound ticks,
1211.4 s). Checks that

- every frame is presented and frames keep their machine-time spacing: the
  frame count, the cycle counter unwrapped from the port-write times and the
  sound rendered all tell the same time, across every wrap;
- the sound has no gap or stall: exactly 882 samples per frame of machine
  time, and no stretch of 1 s or more in which the output stands still,
  least of all around the wraps;
- resident memory does not grow after the first minutes;
- it finishes faster than real time (the speed-up is printed).

usage: soak.py REPLAY DATA_DIR WORK_DIR [FRAMES] [--sanitized]

With --sanitized (a replay built with AddressSanitizer, whose allocator holds
freed memory back in quarantine) resident memory is reported, not checked;
UndefinedBehaviorSanitizer then checks the arithmetic at every wrap.
"""
import array
import os
import shutil
import subprocess
import sys
import time

FRAME_CYCLES = 425448
CYCLES_PER_SECOND = 21272400
SAMPLES_PER_FRAME = 882          # 70908 sound ticks x 147 / 11818, exactly
START_FRAMES = 75                # black frames machine_init presents
WRAP = 1 << 32
HERE = os.path.dirname(os.path.abspath(__file__))


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    sanitized = "--sanitized" in sys.argv
    args = [a for a in sys.argv[1:] if a != "--sanitized"]
    replay, data, work = args[0:3]
    frames = int(args[3]) if len(args) > 3 else 120000
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    keys = os.path.join(work, "keys.txt")
    with open(keys, "w") as f:
        subprocess.run([sys.executable, os.path.join(HERE, "soak_keys.py"), "40", str(frames)],
                       stdout=f, check=True)
    out = os.path.join(work, "out")

    started = time.monotonic()
    process = subprocess.Popen([replay, "--data", data, "--keys", keys, "--frames", str(frames),
                                "--out", out], stderr=subprocess.PIPE, text=True)
    rss = []  # (seconds since start, KiB)
    while process.poll() is None:
        value = rss_kib(process.pid)
        if value is not None:
            rss.append((time.monotonic() - started, value))
        time.sleep(0.25)
    wall = time.monotonic() - started
    stderr = process.stderr.read()
    problems = []
    if process.returncode != 0:
        problems.append(f"exit status {process.returncode}: {stderr.strip()}")

    # Frames: each presented, machine frames 1..3 apart (a picture load may
    # cross a frame end).
    with open(os.path.join(out, "frames.txt")) as f:
        rows = [line.split() for line in f]
    if len(rows) != frames:
        problems.append(f"{len(rows)} frames presented, not {frames}")
    elapsed = [int(r[1]) for r in rows]
    bad = [k for k in range(1, len(elapsed)) if not 1 <= elapsed[k] - elapsed[k - 1] <= 3]
    if bad:
        problems.append(f"frame {bad[0] + 1} is {elapsed[bad[0]] - elapsed[bad[0] - 1]} machine frames after the one before")
    states = [int(r[2]) for r in rows]
    games = sum(1 for k in range(1, len(states)) if states[k] == 3 and states[k - 1] not in (3, 4))
    game_overs = sum(1 for k in range(1, len(states)) if states[k] == 6 and states[k - 1] != 6)
    machine_frames = elapsed[-1] if elapsed else 0
    machine_seconds = machine_frames / 50

    # The cycle counter, from the time of every port write: unwrapped, it
    # must only move forwards, by less than a few frames between writes, and
    # at the last write it must stand within the last frame.
    wraps = 0
    last = None
    unwrapped = 0
    biggest_step = 0
    with open(os.path.join(out, "ports.txt")) as f:
        for line in f:
            cycles = int(line.split(None, 1)[0])
            if last is not None:
                step = (cycles - last) % WRAP
                if step >= WRAP // 2:
                    problems.append(f"the cycle counter went back from {last} to {cycles}")
                    break
                if cycles < last:
                    wraps += 1
                biggest_step = max(biggest_step, step)
                unwrapped += step
            else:
                unwrapped = cycles
            last = cycles
    # Music may skip up to 255 frames without a write (0xFE 255).
    if biggest_step > 260 * FRAME_CYCLES:
        problems.append(f"{biggest_step} cycles passed between two port writes")
    frame_of_last_write = unwrapped // FRAME_CYCLES
    if abs(frame_of_last_write - machine_frames) > 2:
        problems.append(f"the last port write lies in machine frame {frame_of_last_write}, "
                        f"but {machine_frames} frames had passed")
    expected_wraps = (machine_frames * FRAME_CYCLES) // WRAP
    if wraps != expected_wraps:
        problems.append(f"the cycle counter wrapped {wraps} times, not {expected_wraps}")

    # The sound: 882 samples per machine frame, none missing at the wraps,
    # and no stretch of a second without any change of the output.
    wav = os.path.join(out, "audio.wav")
    samples = (os.path.getsize(wav) - 44) // 2
    expected = machine_frames * SAMPLES_PER_FRAME
    if abs(samples - expected) > 2 * SAMPLES_PER_FRAME:
        problems.append(f"{samples} samples rendered, {expected} expected for {machine_frames} frames")
    block = 441  # 10 ms
    still_blocks = 0
    longest_still = (0, 0)  # blocks, at sample
    with open(wav, "rb") as f:
        f.seek(44)
        position = 0
        while True:
            chunk = f.read(2 * block * 4000)
            if not chunk:
                break
            a = array.array("h")
            a.frombytes(chunk[: len(chunk) // 2 * 2])
            for i in range(0, len(a) - block + 1, block):
                if position + i < (START_FRAMES + 1) * SAMPLES_PER_FRAME:
                    continue  # the silent start-up frames, before any music
                part = a[i:i + block]
                if min(part) == max(part):
                    still_blocks += 1
                    if still_blocks > longest_still[0]:
                        longest_still = (still_blocks, position + i - (still_blocks - 1) * block)
                else:
                    still_blocks = 0
            position += len(a)
    still_seconds = longest_still[0] * block / 44100
    if still_seconds >= 1.0:
        problems.append(f"the sound stood still for {still_seconds:.2f} s from "
                        f"{longest_still[1] / 44100:.1f} s on")

    # Resident memory: after the first tenth of the run it stays put.
    settled = [kib for t, kib in rss if t >= wall / 10]
    growth = (max(settled) - settled[0]) if settled else 0
    if growth > 2048 and not sanitized:
        problems.append(f"resident memory grew by {growth} KiB after the first tenth of the run")

    speed = machine_seconds / wall if wall else 0
    cycle_wraps_at = ", ".join(f"{k * WRAP / CYCLES_PER_SECOND:.0f}" for k in range(1, expected_wraps + 1))
    print(f"{len(rows)} frames ({machine_frames} machine frames, {machine_seconds / 60:.1f} min of machine time) "
          f"in {wall:.1f} s: {speed:.1f} x faster than real time")
    print(f"{games} games started, {game_overs} ended by GAME OVER")
    print(f"cycle counter wrapped {wraps} times (at {cycle_wraps_at} s); sound ticks wrap at "
          f"{WRAP * 6 / CYCLES_PER_SECOND:.1f} s")
    print(f"{samples} samples ({samples - expected:+d} against 882 per frame); longest still "
          f"stretch {still_seconds:.2f} s")
    if settled:
        print(f"resident memory {settled[0]} KiB after {wall / 10:.0f} s, at most {max(settled)} KiB later "
              f"({len(rss)} readings)")
    if speed <= 1:
        problems.append("slower than real time")
    if games < 10:
        problems.append(f"only {games} games were started")
    for p in problems:
        print("FAILED:", p)
    if not problems:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes a seeded random key script for quadrillo-replay that keeps the game
busy: pieces moved, turned and dropped fast so games end quickly, SPACE now
and then to start a new game from the title menu, ESC now and then to leave a
game, and frames without keys so that key latches release.

usage: soak_keys.py SEED FRAMES > keys.txt"""
import random
import sys


def script(seed, frames):
    rng = random.Random(seed)
    out = []
    for _ in range(frames):
        r = rng.random()
        if r < 0.40:
            keys = []
        elif r < 0.43:
            keys = ["SPACE"]
        elif r < 0.432:
            keys = ["ESC"]
        else:
            keys = ["DOWN"] if rng.random() < 0.6 else []
            keys += rng.sample(["LEFT", "RIGHT", "UP"], rng.randint(0, 2))
        out.append(" ".join(keys))
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    sys.stdout.write(script(int(sys.argv[1]), int(sys.argv[2])))

# quadrillo-replay --gif: the GIF decodes (Pillow), holds one image per run
# of identical frames (by their frames.txt hashes), each lasting 20 ms per
# machine frame until the next run's present (the last for one frame), loops,
# and its first image is the replay's own picture of that frame, K x K larger.
#
# Usage: replay_gif_test.py REPLAY DATA_DIR KEYS
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageSequence

FIRST, LAST, SCALE = 50, 130, 2


def main():
    replay, data, keys = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as work:
        gif = os.path.join(work, "run.gif")
        subprocess.run([replay, "--data", data, "--keys", keys, "--frames", str(LAST), "--out", work,
                        "--png", str(FIRST), "--gif", gif, "--from", str(FIRST), "--to", str(LAST),
                        "--scale", str(SCALE)], check=True)
        with open(os.path.join(work, "frames.txt")) as f:
            rows = [line.split()[:2] for line in f][FIRST - 1:LAST]
        starts = [i for i in range(len(rows)) if i == 0 or rows[i][0] != rows[i - 1][0]]
        at = [int(rows[i][1]) for i in starts] + [int(rows[-1][1]) + 1]
        expected = [20 * (b - a) for a, b in zip(at, at[1:])]
        image = Image.open(gif)
        durations = [frame.info["duration"] for frame in ImageSequence.Iterator(image)]
        image.seek(0)
        first = np.asarray(image.convert("RGB"))
        picture = np.asarray(Image.open(os.path.join(work, "frame-%d.png" % FIRST)).convert("RGB"))
        failures = []
        if len(expected) < 3 or durations != expected:
            failures.append("durations %s, not %s" % (durations, expected))
        if image.info.get("loop") != 0:
            failures.append("does not loop for ever: %r" % image.info.get("loop"))
        if not np.array_equal(first, picture.repeat(SCALE, axis=0).repeat(SCALE, axis=1)):
            failures.append("the first image is not frame %d at %d x" % (FIRST, SCALE))
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

# orvalin-picture --from: PNG pictures made here with Pillow come back as
# the machine's colours. A grey ramp comes back monotonic; a solid colour on (or,
# without dithering, near) a palette colour comes back as that colour's value (colours from the
# palette's worked values: component c of 0..63 shows as c << 2 | c >> 4);
# transparent pixels and the borders take the key; and a picture made this way
# replaces beach.raw in a replay and shows in the frame as in its preview.
#
# Usage: picture_from_test.py PICTURE REPLAY DATA_DIR
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

# (variant, value, palette colour 0..63): colour mode 0 gives value << 4 | variant.
SOLIDS = [(3, 8, (53, 31, 0)), (12, 15, (14, 63, 63)), (10, 8, (31, 31, 31)), (14, 0, (0, 0, 27))]


def convert(tool, work, image, *args):
    # The values of the raw picture made from `image`, shaped by --size, and the preview.
    src, raw, preview = (os.path.join(work, n) for n in ("in.png", "out.raw", "preview.png"))
    image.save(src)
    subprocess.run([tool, "--from", src, "--out", raw, "--preview", preview] + list(args), check=True)
    size = args[args.index("--size") + 1].replace("beach", "320x240").split("x")
    values = np.frombuffer(open(raw, "rb").read(), np.uint8) >> 4
    return values.reshape(int(size[1]), int(size[0])), np.asarray(Image.open(preview).convert("RGB"))


def main():
    tool, replay, data = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        ramp = Image.fromarray(np.tile(np.arange(256, dtype=np.uint8), (8, 1)))
        values, _ = convert(tool, work, ramp, "--size", "64x2", "--no-dither")
        if np.any(np.diff(values.astype(int), axis=1) < 0) or values.min() != 0 or values.max() != 15:
            failures.append("grey ramp: %s" % values[0])
        for variant, value, colour in SOLIDS:
            # Exactly the colour, dithered; a little off it, not dithered.
            for off, dither in ((0, []), (5, ["--no-dither"])):
                rgb = tuple(min(255, (c << 2 | c >> 4) + off) for c in colour)
                values, _ = convert(tool, work, Image.new("RGB", (30, 20), rgb), "--size", "12x8",
                                    "--variant", str(variant), *dither)
                if np.any(values != value):
                    failures.append("solid %s in variant %d %s: %s" % (rgb, variant, dither, np.unique(values)))
        # Left half transparent, right half opaque white; 2:1 into 4:1, so
        # borders of a quarter on each side.
        rgba = np.zeros((16, 32, 4), np.uint8)
        rgba[:, 16:] = 255
        values, _ = convert(tool, work, Image.fromarray(rgba, "RGBA"), "--size", "64x16", "--key", "3")
        if np.any(values[:, :32] != 3) or np.any(values[:, 32:48] == 3) or np.any(values[:, 48:] != 3):
            failures.append("keyed: %s" % values[8])
        # A new beach, seen in a replay's play screen where nothing covers it.
        stripes = Image.fromarray(np.kron(np.array([[40, 230, 120]] * 2, np.uint8), np.ones((60, 50), np.uint8)))
        game = os.path.join(work, "data")
        shutil.copytree(data, game)
        _, preview = convert(tool, work, stripes.convert("RGB"), "--size", "beach")
        shutil.copy(os.path.join(work, "out.raw"), os.path.join(game, "beach.raw"))
        with open(os.path.join(work, "keys"), "w") as f:
            f.write("SPACE\n")
        subprocess.run([replay, "--data", game, "--keys", os.path.join(work, "keys"), "--frames", "3",
                        "--out", os.path.join(work, "run"), "--png", "3"], check=True)
        frame = np.asarray(Image.open(os.path.join(work, "run", "frame-3.png")).convert("RGB"))
        shown, made = frame[90:240, 140:320], preview[180:480:2, 280:640:2]
        if not np.array_equal(shown, made) or len(np.unique(made.reshape(-1, 3), axis=0)) < 3:
            failures.append("the new beach is not in the frame (%d pixels differ)" % np.sum(np.any(shown != made, axis=2)))
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

# The tools seen from outside, in one run:
# - every tool's command line, one table: --help (usage on stdout) and
#   --version ("NAME X.Y.Z") exit 0; refusals exit 2 (a wrong command line)
#   or 1 (an unreadable or bad input, an unwritable output, a WAV past 4 GiB,
#   a PNG past 50 megapixels) with exactly one line on stderr, starting with
#   the tool's name and matching the row's ~pattern if it has one; inputs
#   named as outputs are left as they were; quadrillo-replay makes its out
#   folder's missing parents;
# - orvalin-picture --from: stripes made with Pillow into beach.raw show in
#   a replay's frame as in the tool's preview;
# - quadrillo-replay --gif over frames 50..130: it loops for ever and holds
#   one image per run of identical frames (by their frames.txt hashes), each
#   lasting 20 ms per machine frame until the next run's present (the last
#   one frame).
#
# Usage: tools_test.py DATA_DIR FONT_DIR TOOL...  (the tools' paths)
import os
import pathlib
import re
import shutil
import string
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageSequence

import sound_match

# tool status [~pattern] arguments, with $D the data folder, $F the fonts', $W a work folder
# and $R a replay's good arguments (a later option overrides an earlier one).
ROWS = """
orvalin-psg2wav 2 --frames ten $D/menu1.psg $W/x.wav
orvalin-psg2wav 1 $W/missing.psg $W/x.wav
orvalin-psg2wav 1 $W/not.psg $W/x.wav
orvalin-psg2wav 1 $W/copy.psg $W/no/such/x.wav
orvalin-psg2wav 1 ~4.GiB -n 2435000 $D/menu1.psg $W/x.wav
orvalin-musicc 2 $W/score.txt --out $W/score.txt
orvalin-musicc 1 $W/missing.txt --out $W/x.psg
orvalin-musicc 1 $W/broken.txt --out $W/x.psg
orvalin-fontbank 1 --font $W/missing.ttf --size 18 --out $W/x.fnt
orvalin-picture 1 --from $W/score.txt --size beach --out $W/x.raw
orvalin-picture 1 ~10000.x.5001.pixels.*50000000.pixels --from $W/over.png --size beach --out $W/x.raw
orvalin-icon 1 --data $W --size 32 --out $W/i.png
quadrillo-replay 2 --keys $W/good.keys --frames 3 --out $W/o
quadrillo-replay 1 $R --gif $W/no/such/x.gif
quadrillo-replay 1 $R --data $W/nowhere
quadrillo-replay 1 $R --keys $W/bad.keys
quadrillo-replay 1 ~4.GiB $R --frames 100000000
quadrillo-replay 0 $R --out $W/new/parent
"""

R, (data, fonts) = "--data $D --keys $W/good.keys --frames 3 --out $W/o", sys.argv[1:3]
path = {os.path.basename(p): p for p in sys.argv[3:]}
failures = []
with tempfile.TemporaryDirectory() as w:
    Image.new("1", (10000, 5001)).save(w + "/over.png")
    files = {"good.keys": b"SPACE\n\nLEFT\n", "bad.keys": b"SPACE\nJUMP\n", "not.psg": b"RIFF....",
             "broken.txt": b"tempo 20\nA: q4\n", "score.txt": open(data + "/src/menu1.txt", "rb").read(),
             "copy.psg": open(data + "/menu1.psg", "rb").read()}
    for name, content in files.items():
        pathlib.Path(w, name).write_bytes(content)
    rows = ["%s 0 %s" % (t, o) for t in path for o in ("--help", "--version")] + ["%s 2 --bad" % t for t in path]
    for row in rows + ROWS.strip().split("\n"):
        tool, status, *args = string.Template(row.replace("$R", R)).substitute(D=data, F=fonts, W=w).split()
        pattern = args.pop(0)[1:] if args[0][0] == "~" else ""
        run = subprocess.run([path[tool]] + args, capture_output=True, text=True)
        want = {"--help": "[Uu]sage: ", "--version": tool + r" \d+\.\d+\.\d+\n\Z"}.get(args[0], "") \
            if status == "0" else "%s: [^\n]*%s[^\n]*\n\Z" % (tool, pattern)
        if run.returncode != int(status) or not re.match(want, run.stderr if int(status) else run.stdout):
            failures.append("%s: exit %d, %r" % (row, run.returncode, (run.stdout + run.stderr)[:300]))
    failures += ["%s was changed" % n for n, c in files.items() if pathlib.Path(w, n).read_bytes() != c]
    if not os.path.exists(w + "/new/parent/frames.txt"):
        failures.append("quadrillo-replay --out made no missing folders")

    def convert(picture, size, *args):
        # The raw picture's pixel values and the preview of orvalin-picture --from.
        Image.fromarray(picture).save(w + "/in.png")
        subprocess.run([path["orvalin-picture"], "--from", w + "/in.png", "--out", w + "/out.raw", "--size", size,
                        "--preview", w + "/preview.png", *args], check=True)
        return np.fromfile(w + "/out.raw", np.uint8) >> 4, Image.open(w + "/preview.png")

    stripes = np.kron(np.array([[40, 230, 120]] * 2, np.uint8), np.ones((60, 50), np.uint8))
    preview = np.asarray(convert(stripes, "beach")[1].convert("RGB"))[180:480:2, 280:640:2]
    shutil.copytree(data, w + "/data")
    shutil.copy(w + "/out.raw", w + "/data/beach.raw")
    open(w + "/moves.keys", "w").write("SPACE\n" + "\n\n\n\nLEFT\n\n\n\n\nRIGHT\n" * 13)
    subprocess.run([path["quadrillo-replay"], "--data", w + "/data", "--keys", w + "/moves.keys", "--frames", "130",
                    "--out", w, "--png", "3", "--gif", w + "/run.gif", "--from", "50", "--to", "130", "--scale", "2"],
                   check=True)
    # The play screen shows the beach right of the board, where nothing covers it.
    shown = np.asarray(Image.open(w + "/frame-3.png").convert("RGB"))[90:240, 140:320]
    if not np.array_equal(shown, preview) or len(np.unique(shown.reshape(-1, 3), axis=0)) < 3:
        failures.append("the new beach is not in the replay's frame")
    rows = [line.split()[:2] for line in open(w + "/frames.txt")][49:130]
    at = [int(b[1]) for a, b in zip([None] + rows, rows) if a is None or a[0] != b[0]] + [int(rows[-1][1]) + 1]
    expected = [20 * (b - a) for a, b in zip(at, at[1:])]
    gif = Image.open(w + "/run.gif")
    durations = [image.info["duration"] for image in ImageSequence.Iterator(gif)]
    if len(expected) < 3 or durations != expected or gif.info["loop"]:
        failures.append("GIF: durations %s, not %s; loop %s" % (durations, expected, gif.info))

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)

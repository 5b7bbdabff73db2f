# Every tool's command line, one table: --help (usage on stdout, exit 0),
# --version (name and version, exit 0), and refusals, each with its exit
# status (2: the command line is wrong; 1: the work failed on an unreadable or
# bad input or an unwritable output) and exactly one line on stderr that starts
# with the tool's name, which some rows also match against a pattern. Inputs
# named as outputs are refused and left as they were.
#
# Usage: tools_cli_test.py DATA_DIR FONT_DIR TOOL...  (the paths of the tools below)
import hashlib
import os
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import zlib

TOOLS = ["orvalin-psg2wav", "orvalin-musicc", "orvalin-fontbank", "orvalin-picture", "orvalin-icon",
         "quadrillo-replay"]


def black_png(width, height):
    """A 1-bit grey PNG of one colour, tens of kB whatever its size. Pillow would
    hold all its pixels, a byte each; here zlib takes 500 rows at a time."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    row, squeeze = bytes(1 + (width + 7) // 8), zlib.compressobj(9)  # filter 0, then the bits
    idat = b"".join(squeeze.compress(row * min(500, height - y)) for y in range(0, height, 500)) + squeeze.flush()
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0)) +
            chunk(b"IDAT", idat) + chunk(b"IEND", b""))


def refusals(data, font, w):
    """(tool, arguments, status[, stderr pattern]) rows; {w} is the work folder."""
    replay = ["--data", data, "--keys", w + "/good.keys", "--frames", "3", "--out", w + "/o"]
    return [
        ("orvalin-psg2wav", [data + "/menu1.psg"], 2),
        ("orvalin-psg2wav", ["--frames", "ten", data + "/menu1.psg", w + "/x.wav"], 2),
        ("orvalin-psg2wav", ["--write-at", "425448", data + "/menu1.psg", w + "/x.wav"], 2),
        ("orvalin-psg2wav", [w + "/copy.psg", w + "/copy.psg"], 2),
        ("orvalin-psg2wav", [w + "/missing.psg", w + "/x.wav"], 1),
        ("orvalin-psg2wav", [w + "/not.psg", w + "/x.wav"], 1),
        ("orvalin-psg2wav", [w + "/copy.psg", w + "/no/such/x.wav"], 1),
        ("orvalin-musicc", [w + "/score.txt", "--out", w + "/x.psg", "--solo", "D"], 2),
        ("orvalin-musicc", [w + "/score.txt", "--out", w + "/score.txt"], 2),
        ("orvalin-musicc", [w + "/missing.txt", "--out", w + "/x.psg"], 1),
        ("orvalin-musicc", [w + "/broken.txt", "--out", w + "/x.psg"], 1),
        ("orvalin-fontbank", ["--font", font, "--size", "0", "--out", w + "/x.fnt"], 2),
        ("orvalin-fontbank", ["--font", w + "/score.txt", "--size", "18", "--out", w + "/score.txt"], 2),
        ("orvalin-fontbank", ["--font", w + "/missing.ttf", "--size", "18", "--out", w + "/x.fnt"], 1),
        ("orvalin-fontbank", ["--font", w + "/score.txt", "--size", "18", "--out", w + "/x.fnt"], 1),
        ("orvalin-picture", ["--picture", "sunset", "--out", w + "/x.raw"], 2),
        ("orvalin-picture", ["--picture", "logo", "--out", w + "/x.raw"], 2),
        ("orvalin-picture", ["--from", w + "/score.txt", "--size", "9x0", "--out", w + "/x.raw"], 2),
        ("orvalin-picture", ["--from", w + "/score.txt", "--size", "beach", "--out", w + "/score.txt"], 2),
        ("orvalin-picture", ["--picture", "title", "--font", w + "/missing.ttf", "--out", w + "/x.raw"], 1),
        ("orvalin-picture", ["--from", w + "/score.txt", "--size", "beach", "--out", w + "/x.raw"], 1),
        ("orvalin-picture", ["--from", w + "/huge.png", "--size", "beach", "--out", w + "/x.raw"], 1,
         r"16000 x 16000 pixels .* 50000000 pixels"),
        ("orvalin-picture", ["--from", w + "/over.png", "--size", "beach", "--out", w + "/x.raw"], 1,
         r"10000 x 5001 pixels .* 50000000 pixels"),
        ("orvalin-icon", ["--data", data, "--size", "8", "--out", w + "/i.png"], 2),
        ("orvalin-icon", ["--data", w, "--size", "32", "--out", w + "/i.png"], 1),
        ("quadrillo-replay", replay[2:], 2),
        ("quadrillo-replay", replay[:5] + ["0"] + replay[6:], 2),
        ("quadrillo-replay", replay + ["--png", "4"], 2),
        ("quadrillo-replay", replay[:-1], 2),
        ("quadrillo-replay", replay + ["--from", "2"], 2),
        ("quadrillo-replay", replay + ["--gif", w + "/x.gif", "--scale", "5"], 2),
        ("quadrillo-replay", replay + ["--gif", w + "/no/such/x.gif"], 1),
        ("quadrillo-replay", ["--data", w + "/nowhere"] + replay[2:], 1),
        ("quadrillo-replay", replay[:3] + [w + "/bad.keys"] + replay[4:], 1),
    ] + [(tool, ["--no-such-option"], 2) for tool in TOOLS]


def main():
    data, font_dir = sys.argv[1:3]
    path = {os.path.basename(p): p for p in sys.argv[3:]}
    font = font_dir + "/DejaVuSans.ttf"
    failures = []
    with tempfile.TemporaryDirectory() as w:
        files = {"good.keys": b"SPACE\n\nLEFT\n", "bad.keys": b"SPACE\nJUMP\n", "not.psg": b"RIFF....",
                 "broken.txt": b"tempo 20\nA: q4\n", "score.txt": open(data + "/src/menu1.txt", "rb").read(),
                 "copy.psg": open(data + "/menu1.psg", "rb").read(),
                 "huge.png": black_png(16000, 16000), "over.png": black_png(10000, 5001)}
        for name, content in files.items():
            pathlib.Path(w, name).write_bytes(content)
        digest = {n: hashlib.sha256(c).hexdigest() for n, c in files.items()}
        rows = [(t, ["--help"], 0) for t in TOOLS] + [(t, ["--version"], 0) for t in TOOLS]
        for tool, args, status, *pattern in rows + refusals(data, font, w):
            run = subprocess.run([path[tool]] + args, capture_output=True, text=True)
            lines = run.stderr.splitlines()
            where = "%s %s" % (tool, " ".join(a.replace(w, "W") for a in args))
            if run.returncode != status:
                failures.append("%s: exit %d, not %d (%s)" % (where, run.returncode, status, run.stderr.strip()))
            elif status == 0 and args == ["--help"] and not run.stdout.lower().startswith("usage:"):
                failures.append("%s: no usage: %r" % (where, run.stdout[:80]))
            elif status == 0 and args == ["--version"] and not re.fullmatch(tool + r" \d+\.\d+\.\d+\n", run.stdout):
                failures.append("%s: %r" % (where, run.stdout))
            elif status and (len(lines) != 1 or not lines[0].startswith(tool + ": ")):
                failures.append("%s: not one line with the tool's name: %r" % (where, run.stderr))
            elif pattern and not re.search(pattern[0], lines[0]):
                failures.append("%s: %r does not match %r" % (where, lines[0], pattern[0]))
        for name, content in files.items():
            if hashlib.sha256(pathlib.Path(w, name).read_bytes()).hexdigest() != digest[name]:
                failures.append("%s was changed" % name)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

# orvalin-psg2wav on real input. Every PSG file in the shared test data is
# rendered without a crash and gives sound, not silence, after the machine's
# 75 silent start-up frames; the input is left as it was. The files there, and
# the header each uses:
#   paraend.psg  "PSG" 0x1A and the common 16-byte header of other players
#                (version, frequency, padding: 12 zero bytes), then commands
#                starting with 0xFF. Read from offset 4, as this machine's
#                player reads every file, the zero bytes are six writes of 0
#                to register 0.
# Also: -n renders exactly that many frames, and --centre writes the signal
# around 0. (Refusals are in the tools' command-line table,
# tests/data/tools_cli_test.py.)
#
# Usage: psg2wav_files_test.py PSG2WAV TESTDATA_DIR
import array
import glob
import os
import subprocess
import sys
import tempfile
import wave

FRAME_SAMPLES = 882
START_SAMPLES = 75 * FRAME_SAMPLES  # machine_init's black frames


def render(tool, args, out):
    """The samples psg2wav writes for `args` (a 44100 Hz mono 16-bit WAV)."""
    subprocess.run([tool] + args + [out], check=True)
    with wave.open(out) as w:
        assert (w.getnchannels(), w.getframerate(), w.getsampwidth()) == (1, 44100, 2)
        return array.array("h", w.readframes(w.getnframes()))


def main():
    tool, testdata = sys.argv[1], sys.argv[2]
    if not os.path.isdir(os.path.join(testdata, "psg")):
        print("skipped: no shared PSG test data beside this checkout at", testdata)
        return 77
    files = sorted(glob.glob(os.path.join(testdata, "psg", "*.psg")))
    if not files:
        print("FAIL: no PSG files in", testdata)
        return 1
    failures = []
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.wav")
        for path in files:
            before = open(path, "rb").read()
            samples = render(tool, [path], out)
            music = samples[START_SAMPLES:]
            changes = sum(1 for a, b in zip(music, music[1:]) if a != b)
            print("%s: %.1f s, %d levels, %d changes" % (path, len(samples) / 44100, len(set(music)), changes))
            if any(s != -32768 for s in samples[:START_SAMPLES]):
                failures.append("%s: sound before the music started" % path)
            if len(set(music)) < 4 or changes < len(music) // 100:
                failures.append("%s: the rendering is (nearly) silent" % path)
            if open(path, "rb").read() != before:
                failures.append("%s changed" % path)
        # -n renders exactly that many frames after start-up.
        if len(render(tool, ["-n", "10", files[0]], out)) != (75 + 10) * FRAME_SAMPLES:
            failures.append("-n 10 gave another length")
        # --centre: the coupling high-pass takes the DC away.
        music = render(tool, ["--centre", files[0]], out)[START_SAMPLES:]
        mean, swing = sum(music) / len(music), max(music) - min(music)
        if abs(mean) > swing / 50 or min(music) >= 0 or max(music) <= 0:
            failures.append("--centre: mean %.0f over a swing of %d" % (mean, swing))
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

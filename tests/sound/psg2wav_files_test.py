#!/usr/bin/env python3
"""orvalin-psg2wav on real input and on bad input.

Every PSG file in the shared test data is rendered without a crash and gives
sound, not silence. The files there, and the header each uses:
  paraend.psg  "PSG" 0x1A and the common 16-byte header of other players
               (version, frequency, padding: 12 zero bytes), then commands
               starting with 0xFF. Read from offset 4, as this machine's
               player reads every file, the zero bytes are six writes of 0
               to register 0.
Also: -n renders exactly that many frames, and --centre writes the signal
around 0. (Refusals are in the tools' command-line table,
tests/data/tools_cli_test.py.)

Usage: psg2wav_files_test.py PSG2WAV TESTDATA_DIR
"""
import glob
import hashlib
import os
import struct
import subprocess
import sys
import tempfile

FRAME_SAMPLES = 882
START_SAMPLES = 75 * FRAME_SAMPLES  # machine_init's black frames


def read_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"RIFF" and data[8:16] == b"WAVEfmt ", "not a WAV file"
    channels, rate, bits = struct.unpack("<H I 6x H", data[22:36])
    assert (channels, rate, bits) == (1, 44100, 16), (channels, rate, bits)
    assert data[36:40] == b"data"
    size = struct.unpack("<I", data[40:44])[0]
    assert size == len(data) - 44
    return struct.unpack("<%dh" % (size // 2), data[44:])


def main():
    tool, testdata = sys.argv[1], sys.argv[2]
    ok = True
    if not os.path.isdir(os.path.join(testdata, "psg")):
        print("skipped: no shared PSG test data beside this checkout at", testdata)
        return 77
    files = sorted(glob.glob(os.path.join(testdata, "psg", "*.psg")))
    if not files:
        print("FAIL: no PSG files in", testdata)
        return 1
    with tempfile.TemporaryDirectory() as work:
        for path in files:
            out = os.path.join(work, os.path.basename(path) + ".wav")
            before = hashlib.sha256(open(path, "rb").read()).hexdigest()
            result = subprocess.run([tool, path, out], capture_output=True, text=True)
            if result.returncode != 0:
                print("FAIL: %s: exit %d: %s" % (path, result.returncode, result.stderr))
                ok = False
                continue
            samples = read_wav(out)
            music = samples[START_SAMPLES:]
            distinct = len(set(music))
            changes = sum(1 for a, b in zip(music, music[1:]) if a != b)
            print("%s: %.1f s, %d distinct levels, %d changes"
                  % (os.path.basename(path), len(samples) / 44100, distinct, changes))
            if any(s != -32768 for s in samples[:START_SAMPLES]):
                print("FAIL: %s: sound before the music started" % path)
                ok = False
            if distinct < 4 or changes < len(music) // 100:
                print("FAIL: %s: the rendering is (nearly) silent" % path)
                ok = False
            if hashlib.sha256(open(path, "rb").read()).hexdigest() != before:
                print("FAIL: %s changed" % path)
                ok = False

        # Frame counts: -n renders exactly that many frames after start-up.
        out = os.path.join(work, "ten.wav")
        subprocess.run([tool, "-n", "10", files[0], out], check=True)
        if len(read_wav(out)) != (75 + 10) * FRAME_SAMPLES:
            print("FAIL: -n 10 gave %d samples" % len(read_wav(out)))
            ok = False

        # --centre: the coupling high-pass takes the DC away, the default keeps
        # silence at the bottom of the range (checked above).
        centred = os.path.join(work, "centred.wav")
        subprocess.run([tool, "--centre", files[0], centred], check=True)
        music = read_wav(centred)[START_SAMPLES:]
        mean, swing = sum(music) / len(music), max(music) - min(music)
        if abs(mean) > swing / 50 or min(music) >= 0 or max(music) <= 0:
            print("FAIL: --centre: mean %.0f over a swing of %d" % (mean, swing))
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

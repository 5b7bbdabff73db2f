#!/usr/bin/env python3
# End-to-end test of the sound chip on a real audio device: the real machine
# (sound_play: paced at 50 frames per second on Allegro's ALSA driver, which
# plays into PulseAudio's null sink) plays a PSG file while parec records the
# sink. Five seconds of orvalin-psg2wav's rendering of the same frames, found
# in the recording by cross-correlation, must match it (median correlation of
# quarter-second windows >= 0.85) and be heard less than 100 ms after the
# machine made its writes. The music follows 5 s of silent frames in which the
# stream settles its buffer length and its place against the machine's time.
#
# usage: sound_e2e.py SOUND_PLAY PSG2WAV PSG_FILE [FALLBACK_PSG_FILE ...]
# Skipped (77) without QUADRILLO_SINK.
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import sound_match

RATE = sound_match.RATE
WINDOW_START = (75 + 250 + 50) * 882  # start-up, lead-in, then 1 s into the music
WRITE_AT_CYCLES = "400000"            # see sound_play.cpp


def take(sound_play, music, sink, reference, work):
    recorder = sound_match.Recorder(sink)
    while not recorder.chunks:
        time.sleep(0.01)
    # A half-second silent stream first gets PulseAudio past its start-up, and
    # ALSA's periods of 512 frames, 3 of them, keep the host's latency small
    # (Allegro finds its allegro.cfg beside the program, else where $ALLEGRO
    # says).
    subprocess.run(["timeout", "0.5", "pacat", "--raw", "/dev/zero"])
    played = subprocess.run([sound_play, music, "600", WRITE_AT_CYCLES], capture_output=True,
                            text=True, cwd=work, env=dict(os.environ, ALLEGRO=work))
    time.sleep(0.3)
    heard = recorder.stop()
    if played.returncode != 0:
        print("sound_play failed:", played.stdout, played.stderr)
        return False
    zero = round((float(played.stdout.split()[1]) - recorder.clock) * RATE)  # sound time 0 heard
    ref = sound_match.read_wav(reference)[WINDOW_START:WINDOW_START + 5 * RATE]
    lag, whole = sound_match.align(ref, heard, zero + WINDOW_START - RATE // 20, zero + WINDOW_START + RATE)
    parts = sound_match.windows(ref, heard, lag)
    latency = (lag - zero - WINDOW_START) / RATE
    print("correlation %.4f in one piece, median %.4f (worst %.4f) in %d windows; latency %.1f ms"
          % (whole, np.median(parts), parts.min(), len(parts), latency * 1000))
    return np.median(parts) >= 0.85 and latency < 0.100


def main():
    sound_play, psg2wav = sys.argv[1:3]
    files = [p for p in sys.argv[3:] if os.path.exists(p)]
    if not os.environ.get("QUADRILLO_SINK"):
        print("skipped: QUADRILLO_SINK is not set (no audio sink; run through scripts/test.sh)")
        return 77
    with tempfile.TemporaryDirectory() as work:
        music, reference = os.path.join(work, "music.psg"), os.path.join(work, "reference.wav")
        with open(files[0], "rb") as f, open(music, "wb") as out:  # 250 silent frames, then the music
            original = f.read()
            out.write(original[:4] + bytes([0x0E, 0x00, 0xFF]) * 250 + original[4:])
        with open(os.path.join(work, "allegro.cfg"), "w") as f:
            f.write("[sound]\nalsa_fragsize = 512\nalsa_numfrags = 3\n")
        subprocess.run([psg2wav, "--loop", "--frames", "600", "--write-at", WRITE_AT_CYCLES, music,
                        reference], check=True)
        # A real-time measurement on a shared host: a late mix spoils a take
        # now and then, a fault of the machine's sound spoils every one.
        return 0 if any(take(sound_play, music, os.environ["QUADRILLO_SINK"], reference, work)
                        for _ in range(5)) else 1


if __name__ == "__main__":
    sys.exit(main())

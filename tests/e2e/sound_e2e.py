#!/usr/bin/env python3
"""End-to-end test of the sound chip on a real audio device.

The real machine (sound_play: paced at 50 frames per second, Allegro's ALSA
driver, which ALSA's default device sends to PulseAudio's null sink) plays a
PSG file through psg_step, while parec records the sink's monitor. The
recording must match orvalin-psg2wav's rendering of the same frames: a
5-second stretch of the rendering, found in the recording by normalized
cross-correlation, must correlate at >= 0.9, and the offset at which it lies
(how long after the machine wrote a register it was heard) must be under
100 ms.

Usage: sound_e2e.py SOUND_PLAY PSG2WAV CORRELATE PSG_FILE
Exit 77 (skipped) when QUADRILLO_SINK is not set: no audio sink to play into.
"""
import os
import subprocess
import sys
import tempfile
import threading
import time

RATE = 44100
FRAME_SAMPLES = 882          # samples per machine frame (50 frames per second)
START_FRAMES = 75            # black frames that machine_init presents
MUSIC_FRAMES = 350           # 7 s of music
WINDOW_START_FRAMES = 75     # compare from 1.5 s into the music ...
WINDOW_SAMPLES = 5 * RATE    # ... for 5 s
MIN_CORRELATION = 0.9
MAX_LATENCY_S = 0.100


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    sound_play, psg2wav, correlate, psg_file = sys.argv[1:]
    sink = os.environ.get("QUADRILLO_SINK")
    if not sink:
        print("SKIP: QUADRILLO_SINK is not set (no audio sink; run through scripts/test.sh)")
        return 77

    with tempfile.TemporaryDirectory() as work:
        reference = os.path.join(work, "reference.wav")
        recording = os.path.join(work, "recording.raw")
        subprocess.run([psg2wav, "--loop", "--frames", str(MUSIC_FRAMES), psg_file, reference],
                       check=True)

        # Record the monitor, noting when each chunk arrives: the earliest
        # "arrival minus duration so far" bounds when the first recorded
        # sample was played, on the same monotonic clock as sound_play's.
        parec = subprocess.Popen(
            ["parec", "-d", sink + ".monitor", "--format=s16le", "--channels=1",
             "--rate=%d" % RATE, "--raw", "--latency-msec=5"],
            stdout=subprocess.PIPE)
        chunks = []
        first_sample_at = [float("inf")]

        def reader():
            total = 0
            while True:
                data = parec.stdout.read1(4096) if hasattr(parec.stdout, "read1") else parec.stdout.read(4096)
                if not data:
                    break
                now = time.monotonic()
                chunks.append(data)
                total += len(data)
                first_sample_at[0] = min(first_sample_at[0], now - total / 2 / RATE)

        thread = threading.Thread(target=reader)
        thread.start()
        time.sleep(0.5)
        env = dict(os.environ)
        env.setdefault("SOUND_PLAY_ALSA_FRAGSIZE", "256")
        env.setdefault("SOUND_PLAY_ALSA_NUMFRAGS", "4")
        played = subprocess.run([sound_play, psg_file, str(MUSIC_FRAMES)], env=env,
                                capture_output=True, text=True)
        time.sleep(0.3)
        parec.terminate()
        thread.join()
        parec.wait()
        if played.returncode != 0:
            print("sound_play failed:", played.stdout, played.stderr)
            return 1
        report = dict(line.split(None, 1) for line in played.stdout.splitlines() if line.strip())
        print("sound_play:", ", ".join("%s=%s" % item for item in sorted(report.items())))
        with open(recording, "wb") as out:
            for chunk in chunks:
                out.write(chunk)

        # Where the reference's sample 0 (the machine's sound time 0, when the
        # stream opened) falls in the recording if heard without delay.
        stream_opened_at = float(report["stream_opened_at"])
        zero_lag = round((stream_opened_at - first_sample_at[0]) * RATE)
        start = (START_FRAMES + WINDOW_START_FRAMES) * FRAME_SAMPLES
        # Search from 50 ms early (clock estimates) to 1 s late.
        result = subprocess.run([correlate, reference, recording, str(start), str(WINDOW_SAMPLES),
                                 str(zero_lag - RATE // 20), str(zero_lag + RATE)],
                                capture_output=True, text=True)
        if result.returncode != 0:
            print("correlation failed:", result.stderr.strip())
            return 1
        fields = result.stdout.split()
        lag, correlation = int(fields[1]), float(fields[3])
        latency = (lag - zero_lag) / RATE
        print("correlation %.4f over %.1f s, latency %.1f ms (lag %d samples, zero at %d)"
              % (correlation, WINDOW_SAMPLES / RATE, latency * 1000, lag, zero_lag))
        ok = True
        if correlation < MIN_CORRELATION:
            print("FAIL: the recording does not match the rendering (%.4f < %.2f)"
                  % (correlation, MIN_CORRELATION))
            ok = False
        if not (latency < MAX_LATENCY_S):
            print("FAIL: audible latency %.1f ms is not under %.0f ms"
                  % (latency * 1000, MAX_LATENCY_S * 1000))
            ok = False
        return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

# What an audio sink heard against the machine's own rendering of the same
# music (a WAV file of quadrillo-replay or orvalin-psg2wav), with numpy. The
# rule: a piece of the recording is found in the rendering by normalized
# cross-correlation, then each quarter second of it aligned on its own (the
# real-time pump applies a register write up to a buffer late); the median
# correlation of those windows must reach MATCH. Other music of the game
# scores below 0.3 here, the right music 0.8 to 0.95.
import subprocess
import threading
import time

import numpy as np

RATE, MATCH = 44100, 0.7


def read_wav(path):  # a 44-byte header, as the machine's tools write it, then the samples
    return np.fromfile(path, "<i2", offset=44).astype(np.float64)


def align(ref, rec, first, last):
    # The lag in first..last at which `ref` best matches rec[lag:lag + len(ref)],
    # and the Pearson correlation there.
    n = len(ref)
    first, last = max(first, 0), min(last, len(rec) - n)
    if last < first:
        return first, 0.0
    seg, x = rec[first:last + n], ref - ref.mean()
    size = 1 << int(np.ceil(np.log2(len(seg) + n)))
    dot = np.fft.irfft(np.fft.rfft(seg, size) * np.conj(np.fft.rfft(x, size)), size)[:last - first + 1]
    c1, c2 = (np.concatenate(([0.0], np.cumsum(v))) for v in (seg, seg * seg))
    s1, s2 = c1[n:] - c1[:-n], c2[n:] - c2[:-n]
    r = dot / np.sqrt(np.maximum(s2 - s1 * s1 / n, 1e-9) * max(x @ x, 1e-9))
    return first + int(np.argmax(r)), float(r.max())


def match(piece, rendering, window=RATE // 4, slack=2048):
    # The rule's figure for a recorded piece anywhere in the rendering.
    lag = align(piece, rendering, 0, len(rendering))[0]
    return float(np.median([align(piece[at:at + window], rendering, lag + at - slack, lag + at + slack)[1]
                            for at in range(0, len(piece) - window + 1, window)]))


def heard(recorder, since, rendering):
    # The rule's figure for what the recorder heard from `since` (monotonic
    # time) on, once loud: 2 s from half a second after, and when that falls
    # short of MATCH the 2 s after it too, the better of the two. A stream
    # cuts its notes for a moment now and then (0.41 once in about 60 runs
    # here); music that is not the rendering fails both. 0 if silent for 30 s.
    judged = []
    for _ in range(30):
        time.sleep(1)
        sound = recorder.samples()[int((since - min(recorder.clock, since)) * RATE):]
        loud = np.flatnonzero(np.abs(sound - np.median(sound)) > 300) if len(sound) > 3 * RATE else []
        if len(loud) and len(sound) > loud[0] + (3 + 2 * len(judged)) * RATE:
            at = loud[0] + RATE // 2 + 2 * RATE * len(judged)
            judged.append(match(sound[at:at + 2 * RATE], rendering))
            print("the sink's music: correlation %.3f with the rendering" % judged[-1])
            if judged[-1] >= MATCH or len(judged) == 2:
                break
    return max(judged, default=0)


class Recorder:
    # parec on a sink's monitor, read as it comes. `clock`: the monotonic
    # time at which the first recorded sample was played (the earliest
    # arrival minus the recorded duration).
    def __init__(self, sink):
        self.process = subprocess.Popen(["parec", "-d", sink + ".monitor", "--format=s16le", "--channels=1",
                                         "--rate=%d" % RATE, "--raw", "--latency-msec=5"], stdout=subprocess.PIPE)
        self.chunks, self.clock = [], float("inf")
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        total = 0
        while data := self.process.stdout.read1(4096):
            self.chunks.append(data)
            total += len(data)
            self.clock = min(self.clock, time.monotonic() - total / 2 / RATE)

    def samples(self):
        data = b"".join(self.chunks)
        return np.frombuffer(data[:len(data) // 2 * 2], dtype="<i2").astype(np.float64)

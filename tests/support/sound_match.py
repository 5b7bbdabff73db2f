# Matching what an audio sink heard against the machine's own rendering of
# the same music (a WAV file from orvalin-psg2wav or quadrillo-replay), with
# numpy: a reader, a recorder and normalized cross-correlation over lags.
import subprocess
import threading
import time
import wave

import numpy as np

RATE = 44100


def read_wav(path):
    with wave.open(path, "rb") as w:
        return np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)


# The lag in first..last at which `ref` best matches rec[lag:lag + len(ref)],
# and the Pearson correlation there.
def align(ref, rec, first, last):
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


# Correlations of `ref` in quarter-second windows against `rec` from `lag`,
# each window aligned on its own within `slack` samples: a register write
# that the pump applies a few samples late shifts the tones' phase from there.
def windows(ref, rec, lag, window=RATE // 4, slack=2048):
    return np.array([align(ref[at:at + window], rec, lag + at - slack, lag + at + slack)[1]
                     for at in range(0, len(ref) - window + 1, window) if ref[at:at + window].std() > 0])


# parec on a sink's monitor, read as it comes. `clock` is the monotonic time
# at which the first recorded sample was played: the earliest "arrival minus
# recorded duration" over all chunks.
class Recorder:
    def __init__(self, sink, env=None):
        self.process = subprocess.Popen(
            ["parec", "-d", sink + ".monitor", "--format=s16le", "--channels=1",
             "--rate=%d" % RATE, "--raw", "--latency-msec=5"], stdout=subprocess.PIPE, env=env)
        self.chunks, self.clock = [], float("inf")
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        total = 0
        while data := self.process.stdout.read1(4096):
            self.chunks.append(data)
            total += len(data)
            self.clock = min(self.clock, time.monotonic() - total / 2 / RATE)

    def stop(self):
        self.process.terminate()
        self.process.wait()
        self.thread.join(timeout=5)
        data = b"".join(self.chunks)
        return np.frombuffer(data[:len(data) // 2 * 2], dtype="<i2").astype(np.float64)

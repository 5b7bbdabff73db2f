"""orvalin-hello, the SDK's example program, in a real window of the X server
and audio sink that scripts/test.sh starts: it opens its window, holds still
without keys, moves its picture while Right is held, is heard in the sink, and
ends with status 0 on the close button.

Usage: hello_window_test.py ORVALIN_HELLO DATA_DIR
Exits 77 (skipped) without DISPLAY or QUADRILLO_SINK."""
import os
import subprocess
import sys
import tempfile
import time

import desktop

desktop.require_desktop(sound=True)
program, data = sys.argv[1:3]
work = tempfile.mkdtemp(prefix="orvalin-hello-e2e-")
recording = os.path.join(work, "sink.raw")
recorder = desktop.start_recording(recording)
process = subprocess.Popen([program, data])
try:
    window = desktop.find_window("Orvalin: hello", timeout=15)
    if window is None:
        desktop.fail("no window titled 'Orvalin: hello'")
    shot = lambda: desktop.grab(window, os.path.join(work, "grab.ppm"))[2]
    # After the 1.5 s of black start-up frames the picture stands still.
    deadline = time.monotonic() + 10
    first = shot()
    while time.monotonic() < deadline and (len(set(first)) < 3 or shot() != first):
        time.sleep(0.3)
        first = shot()
    if shot() != first:
        desktop.fail("the picture changes with no key held")
    desktop.press(window, "Right", hold=0.5)
    time.sleep(0.2)
    moved = shot()
    changed = sum(a != b for a, b in zip(first, moved))
    print("Right held 0.5 s: %d of %d window bytes changed" % (changed, len(first)))
    if changed < 1000:
        desktop.fail("the picture did not move while Right was held")

    recorder.terminate()
    recorder.wait()
    samples = desktop.read_samples(recording)
    loud = max((abs(s) for s in samples), default=0)
    print("sink: %d samples, peak %d" % (len(samples), loud))
    if loud < 300:
        desktop.fail("the sink heard nothing while the tune plays")

    desktop.close_window(window)
    try:
        status = process.wait(timeout=2.0)
    except subprocess.TimeoutExpired:
        desktop.fail("the close button did not end the program within 2 s")
    if status != 0:
        desktop.fail("exit status %d after the close button" % status)
finally:
    desktop.stop(process)
    desktop.stop(recorder)
print("PASS")

# Helpers for end-to-end tests that drive real programs in the X server and
# audio sink that scripts/test.sh starts: find windows, type keys, grab window
# pictures and ask windows to close (python-xlib, Pillow), record the sink, and
# stop what was started. Pictures are (width, height, bytes of RGB triples).
import os
import subprocess
import sys
import time

def require_desktop(sound=False):
    # Exits as skipped when there is no X server (or audio sink) to use.
    if not os.environ.get("DISPLAY") or (sound and not os.environ.get("QUADRILLO_SINK")):
        print("skipped: no DISPLAY or audio sink (run through scripts/test.sh)")
        sys.exit(77)  # ctest's SKIP_RETURN_CODE for these tests


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def find_window(title, timeout=10.0, by="--name"):
    # The id of the first window whose name (or class, by="--class") is
    # exactly `title`, or None.
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        out = subprocess.run(["xdotool", "search", by, "^%s$" % title], capture_output=True, text=True).stdout.split()
        if out:
            return int(out[0])
        time.sleep(0.05)
    return None


def window_size(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)], capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values.get("WIDTH", 0)), int(values.get("HEIGHT", 0))


def press(window, keys, hold=0.15):
    # Focuses `window` and holds `keys` (xdotool names, e.g. "alt+Return")
    # `hold` seconds: long enough for the machine to see them in a frame.
    subprocess.run(["xdotool", "windowfocus", str(window)], capture_output=True)
    subprocess.run(["xdotool", "keydown", keys], capture_output=True)
    time.sleep(hold)
    subprocess.run(["xdotool", "keyup", keys], capture_output=True)


def _xlib_window(window):
    from Xlib import display
    connection = display.Display()
    return connection, connection.create_resource_object("window", window)


def grab(window, path=None):
    # The window's pixels, also saved to `path` when given.
    from PIL import Image
    from Xlib import X
    connection, target = _xlib_window(window)
    size = target.get_geometry()
    raw = target.get_image(0, 0, size.width, size.height, X.ZPixmap, 0xFFFFFFFF)
    connection.close()
    image = Image.frombytes("RGB", (size.width, size.height), raw.data, "raw", "BGRX")
    if path:
        image.save(path)
    return image.width, image.height, image.tobytes()


def pixel(picture, x, y):
    width, _, data = picture
    i = (y * width + x) * 3
    return tuple(data[i:i + 3])


def close_window(window):
    # Presses the window's close button: a WM_DELETE_WINDOW client message,
    # which the program may act on (destroying the window would not ask it).
    from Xlib import X, protocol
    connection, target = _xlib_window(window)
    delete = connection.intern_atom("WM_DELETE_WINDOW")
    target.send_event(protocol.event.ClientMessage(window=target, client_type=connection.intern_atom("WM_PROTOCOLS"),
                                                   data=(32, [delete, X.CurrentTime, 0, 0, 0])))
    connection.sync()
    connection.close()


def stop(process):
    # Stops a started process by its id, if it still runs.
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def start_recording(path):
    # Starts parec on the test sink's monitor, raw 16-bit mono 44100 Hz.
    out = open(path, "wb")
    return subprocess.Popen(["parec", "-d", os.environ["QUADRILLO_SINK"] + ".monitor", "--format=s16le",
                             "--channels=1", "--rate=44100", "--raw"], stdout=out)


def read_samples(path):
    # The recording's samples as a tuple of numbers.
    import numpy
    return tuple(numpy.fromfile(path, dtype="<i2").tolist())


def palette_rgb(colour_byte):
    # The nominal JFIF conversion of a colour byte to 0..63 components,
    # widened to 0..255 as the window shows them. Kept for older callers.
    n = colour_byte ^ 0x0A
    y, u, v = (n >> 4) / 16.0, (((n >> 2) & 3) - 2) / 4.0, ((n & 3) - 2) / 4.0
    out = [int(min(max(c, 0.0), 1.0) * 63.0) for c in (y + 1.402 * v, y - 0.344136 * u - 0.714136 * v, y + 1.772 * u)]
    return tuple((c << 2) | (c >> 4) for c in out)


def read_png(path):
    from PIL import Image
    image = Image.open(path).convert("RGB")
    return image.width, image.height, image.tobytes()

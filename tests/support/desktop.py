"""Helpers for end-to-end tests that drive real programs in the X server and
audio sink that scripts/test.sh starts: find windows, type keys, grab window
pictures, ask windows to close, record the sink, and stop what was started."""
import os
import struct
import subprocess
import sys
import time
import zlib

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests


def require_desktop(sound=False):
    """Exits as skipped when there is no X server (or audio sink) to use."""
    if not os.environ.get("DISPLAY"):
        print("skipped: no DISPLAY (run through scripts/test.sh)")
        sys.exit(SKIP)
    if sound and not os.environ.get("QUADRILLO_SINK"):
        print("skipped: no audio sink (run through scripts/test.sh)")
        sys.exit(SKIP)


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def find_window(title, timeout=10.0):
    """The id of the first window whose name is exactly `title`, or None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        out = subprocess.run(["xdotool", "search", "--name", "^%s$" % title],
                             capture_output=True, text=True).stdout.split()
        if out:
            return int(out[0])
        time.sleep(0.05)
    return None


def window_name(window):
    return subprocess.run(["xdotool", "getwindowname", str(window)],
                          capture_output=True, text=True).stdout.strip()


def window_size(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)],
                         capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values.get("WIDTH", 0)), int(values.get("HEIGHT", 0))


def press(window, keys, hold=0.15):
    """Focuses `window` and presses `keys` (xdotool names, e.g. "space",
    "alt+Return") through the X test extension, holding them `hold` seconds:
    long enough for the machine to see them in a frame (20 ms)."""
    subprocess.run(["xdotool", "windowfocus", str(window)], capture_output=True)
    subprocess.run(["xdotool", "keydown", keys], capture_output=True)
    time.sleep(hold)
    subprocess.run(["xdotool", "keyup", keys], capture_output=True)


def grab(xwin, window, path):
    """Reads the window back: (width, height, bytes of RGB triples)."""
    subprocess.run([xwin, "grab", str(window), path], check=True)
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(b"\n", 3)
    width, height = (int(v) for v in parts[1].split())
    return width, height, parts[3]


def pixel(picture, x, y):
    width, _, data = picture
    i = (y * width + x) * 3
    return tuple(data[i:i + 3])


def close_window(xwin, window):
    subprocess.run([xwin, "close", str(window)], check=True)


def stop(process):
    """Stops a started process by its id, if it still runs."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def start_recording(path):
    """Starts parec on the test sink's monitor, raw 16-bit mono 44100 Hz."""
    sink = os.environ["QUADRILLO_SINK"]
    out = open(path, "wb")
    return subprocess.Popen(["parec", "-d", sink + ".monitor", "--format=s16le",
                             "--channels=1", "--rate=44100", "--raw"], stdout=out)


def read_samples(path):
    with open(path, "rb") as f:
        data = f.read()
    count = len(data) // 2
    return struct.unpack("<%dh" % count, data[:count * 2])


def palette_rgb(colour_byte):
    """The machine's colour of a colour byte as the host window shows it: the
    nominal JFIF conversion to 0..63 components, widened to 0..255."""
    n = colour_byte ^ 0x0A
    y = (n >> 4) / 16.0
    u = (((n >> 2) & 3) - 2) / 4.0
    v = ((n & 3) - 2) / 4.0
    out = []
    for c in (y + 1.402 * v, y - 0.344136 * u - 0.714136 * v, y + 1.772 * u):
        c6 = int(min(max(c, 0.0), 1.0) * 63.0)
        out.append((c6 << 2) | (c6 >> 4))
    return tuple(out)


def read_png(path):
    """An 8-bit RGB PNG as (width, height, bytes of RGB triples)."""
    with open(path, "rb") as f:
        data_bytes = f.read()
    if data_bytes[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s is not a PNG" % path)
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data_bytes):
        length = struct.unpack(">I", data_bytes[pos:pos + 4])[0]
        kind, body = data_bytes[pos + 4:pos + 8], data_bytes[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour != 2:
                fail("%s: expected 8-bit RGB" % path)
        elif kind == b"IDAT":
            idat += body
    raw, stride, out = zlib.decompress(idat), width * 3, bytearray()
    previous = bytearray(stride)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - 3] if i >= 3 else 0
            b = previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += row
        previous = row
    return width, height, bytes(out)

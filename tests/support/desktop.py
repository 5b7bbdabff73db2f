# Helpers for driving real programs in an X server (scripts/desktop.sh starts
# one): windows found and keys typed with xdotool, pictures read and the
# close button pressed with python-xlib, started processes stopped. Pillow,
# numpy and python-xlib are imported where used: find_window, press(WINDOW)
# and stop work without them (scripts/bench.sh).
import subprocess
import time


def fail(message):
    raise SystemExit("FAIL: " + message)


def until(check, timeout=5):
    # Polls check() until it holds (a program may lag): whether it did.
    from Xlib.error import XError
    for _ in range(timeout * 20):
        try:
            if check():
                return True
        except XError:  # a window being made or unmapped
            pass
        time.sleep(0.05)


def find_window(title, timeout=10.0):
    # The id of the first window named exactly `title`, or None.
    for _ in range(int(timeout * 20)):
        found = subprocess.run(["xdotool", "search", "--name", "^%s$" % title], capture_output=True, text=True)
        if found.stdout:
            return int(found.stdout.split()[0])
        time.sleep(0.05)


def _window(window):
    # A connection and `window`, or when None the top window shown.
    from Xlib import X, display
    x = display.Display()
    shown = [w for w in x.screen().root.query_tree().children if w.get_attributes().map_state == X.IsViewable]
    return x, x.create_resource_object("window", window) if window else shown[-1]


def press(window, keys, hold=0.15):
    # Focuses `window` (None: the top one) and holds `keys` (xdotool names,
    # e.g. "alt+Return") long enough for the machine to see them in a frame.
    window = window or _window(None)[1].id
    subprocess.run(["xdotool", "windowfocus", str(window), "keydown", keys, "sleep", str(hold), "keyup", keys])


def grab(window=None):
    # What `window` (None: the top one) shows, as a height x width x RGB array.
    import numpy
    from PIL import Image
    x, target = _window(window)
    size = target.get_geometry()
    raw = target.get_image(0, 0, size.width, size.height, 2, 0xFFFFFFFF).data  # 2: ZPixmap
    x.close()
    return numpy.asarray(Image.frombytes("RGB", (size.width, size.height), raw, "raw", "BGRX"))


def close_window(window):
    # The close button: a WM_DELETE_WINDOW client message, sent and seen by the server.
    from Xlib import protocol
    x, target = _window(window)
    target.send_event(protocol.event.ClientMessage(window=target, client_type=x.intern_atom("WM_PROTOCOLS"), data=(
        32, [x.intern_atom("WM_DELETE_WINDOW"), 0, 0, 0, 0])))  # 0: CurrentTime
    x.sync()
    x.close()


def stop(process):
    # Stops a process this test started, by its id, if it still runs.
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()

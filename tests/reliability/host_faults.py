#!/usr/bin/env python3
"""Host faults under the real game, each with its own private X server and
PulseAudio server (started here the way scripts/desktop.sh starts them, and
stopped by process id), so the shared desktop of the e2e phase is untouched:

1. PulseAudio is stopped while the game plays and started again: the game
   keeps presenting 50 frames per second throughout, silently while no
   stream can be had, and ends normally at the close button.
2. Alt+Enter held for five seconds: the display toggles at every frame end,
   the game keeps running, and afterwards it runs at 50 frames per second
   with the sound back (taken by the host and heard on the sink).
3. The X server is killed under the running quadrillo program: it exits with
   a non-zero status within seconds instead of hanging.

usage: host_faults.py HOST_FAULT_GAME QUADRILLO XWIN DATA_DIR WORK_DIR
"""
import array
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
TITLE = "Orvalin: Quadrillo"


class Desktop:
    """A private Xvfb and PulseAudio with a null sink; ALSA's default device
    plays into it."""

    def __init__(self, root):
        self.dir = tempfile.mkdtemp(prefix="quadrillo-faults.", dir=root)
        self.env = dict(os.environ)
        self.x = None
        self.pulse = None

    def start_x(self):
        read, write = os.pipe()
        self.x = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                                   "-nolisten", "tcp"], pass_fds=(write,),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        deadline = time.monotonic() + 10
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_pulse(self):
        runtime = os.path.join(self.dir, "runtime")
        home = os.path.join(self.dir, "home")
        os.makedirs(os.path.join(runtime, "pulse"), exist_ok=True)
        os.makedirs(home, exist_ok=True)
        os.chmod(runtime, 0o700)
        socket = os.path.join(runtime, "pulse", "native")
        self.sink = "quadrillo_fault_sink"
        env = dict(self.env, XDG_RUNTIME_DIR=runtime, HOME=home)
        self.pulse = subprocess.Popen(
            ["pulseaudio", "--system=false", "-n", "--daemonize=no", "--exit-idle-time=-1",
             "--disallow-exit", "--log-target=file:" + os.path.join(self.dir, "pulse.log"),
             "-L", f"module-null-sink sink_name={self.sink} rate=44100 channels=1",
             "-L", f"module-native-protocol-unix socket={socket} auth-anonymous=1",
             "-L", "module-always-sink"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env.update(XDG_RUNTIME_DIR=runtime, PULSE_SERVER="unix:" + socket)
        asoundrc = os.path.join(self.dir, "asoundrc")
        with open(asoundrc, "w") as f:
            f.write("</usr/share/alsa/alsa.conf>\npcm.!default { type pulse }\nctl.!default { type pulse }\n")
        self.env["ALSA_CONFIG_PATH"] = asoundrc
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if subprocess.run(["pactl", "info"], env=self.env, capture_output=True).returncode == 0:
                subprocess.run(["pactl", "set-default-sink", self.sink], env=self.env, capture_output=True)
                return
            time.sleep(0.1)
        raise RuntimeError("PulseAudio did not start")

    def stop_pulse(self):
        if self.pulse and self.pulse.poll() is None:
            self.pulse.terminate()
            self.pulse.wait(timeout=10)
        self.pulse = None

    def stop(self):
        self.stop_pulse()
        if self.x and self.x.poll() is None:
            self.x.terminate()
            self.x.wait(timeout=10)
        shutil.rmtree(self.dir, ignore_errors=True)

    def record(self, seconds):
        """Samples heard on the sink for `seconds` (signed 16-bit)."""
        rec = subprocess.Popen(["parec", "-d", self.sink + ".monitor", "--format=s16le",
                                "--channels=1", "--rate=44100"], env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        time.sleep(seconds)
        rec.terminate()
        data = rec.communicate(timeout=10)[0]
        samples = array.array("h")
        samples.frombytes(data[: len(data) // 2 * 2])
        return samples


class Game:
    """host_fault_game running in the data folder; its frame log is read as
    it comes."""

    def __init__(self, program, data, desktop, log, extra_env=None):
        env = dict(desktop.env, **(extra_env or {}))
        self.log_path = log
        self.log = open(log, "w")
        self.process = subprocess.Popen([program], cwd=data, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)

    def frames(self):
        rows = []
        with open(self.log_path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 7 and parts[0] == "frame":
                    rows.append([int(p) for p in parts[1:]])
        return rows

    def wait_frame(self, n, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            rows = self.frames()
            if rows and rows[-1][0] >= n:
                return rows
            if self.process.poll() is not None:
                raise RuntimeError(f"the game ended early with status {self.process.returncode}")
            time.sleep(0.05)
        raise RuntimeError(f"frame {n} was not reached in {timeout} s")

    def close(self, xwin, desktop, timeout=10):
        window = subprocess.run(["xdotool", "search", "--name", f"^{TITLE}$"], env=desktop.env,
                                capture_output=True, text=True).stdout.split()
        if window:
            subprocess.run([xwin, "close", window[0]], env=desktop.env, capture_output=True)
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None
        finally:
            self.log.close()


def rate(rows, first_ms, last_ms):
    """Frames per second presented between two times, and the longest gap
    between two frames there (ms)."""
    part = [r for r in rows if first_ms <= r[1] <= last_ms]
    if len(part) < 2:
        return 0.0, 0
    fps = (len(part) - 1) * 1000.0 / (part[-1][1] - part[0][1])
    gap = max(b[1] - a[1] for a, b in zip(part, part[1:]))
    return fps, gap


def samples_per_second(rows, first_ms, last_ms):
    part = [r for r in rows if first_ms <= r[1] <= last_ms]
    if len(part) < 2 or part[-1][1] == part[0][1]:
        return 0.0
    return (part[-1][2] - part[0][2]) * 1000.0 / (part[-1][1] - part[0][1])


def steady(label, rows, first_ms, last_ms, problems):
    fps, gap = rate(rows, first_ms, last_ms)
    print(f"  {label}: {fps:.1f} frames/s, longest gap {gap} ms, "
          f"{samples_per_second(rows, first_ms, last_ms):.0f} samples/s taken by the host")
    if not 46 <= fps <= 54:
        problems.append(f"{label}: {fps:.1f} frames per second, not 50")
    if gap > 250:
        problems.append(f"{label}: {gap} ms between two frames")


def pulse_outage(program, xwin, data, root, problems):
    print("PulseAudio stopped and started again under the game:")
    desktop = Desktop(root)
    try:
        desktop.start_x()
        desktop.start_pulse()
        game = Game(program, data, desktop, os.path.join(root, "pulse.log"))
        rows = game.wait_frame(200)
        stopped = rows[-1][1]
        desktop.stop_pulse()
        time.sleep(5)
        desktop.start_pulse()
        restarted = game.frames()[-1][1]
        time.sleep(5)
        rows = game.frames()
        status = game.close(xwin, desktop)
        steady("before", rows, 1000, stopped, problems)
        steady("server stopped", rows, stopped + 500, restarted, problems)
        steady("server back", rows, restarted + 500, rows[-1][1], problems)
        back = samples_per_second(rows, restarted + 2000, rows[-1][1])
        print(f"  sound after the restart: {'back' if back > 20000 else 'still off'} "
              f"({back:.0f} samples/s)")
        if status != 0:
            problems.append(f"PulseAudio outage: the game ended with status {status} at the close button")
    finally:
        desktop.stop()


def alt_enter(program, xwin, data, root, problems):
    print("Alt+Enter held for 5 s (frames 150 to 400):")
    desktop = Desktop(root)
    try:
        desktop.start_x()
        desktop.start_pulse()
        game = Game(program, data, desktop, os.path.join(root, "alt-enter.log"),
                    {"QUADRILLO_HOLD_ALT_ENTER": "150 400"})
        game.wait_frame(401, timeout=60)
        time.sleep(4)
        heard = desktop.record(2.0)
        rows = game.frames()
        status = game.close(xwin, desktop)
        modes = {r[0]: r[5] for r in rows}
        toggles = sum(1 for k in range(151, 402) if k in modes and k - 1 in modes and modes[k] != modes[k - 1])
        print(f"  {toggles} display toggles in the 251 frame ends after frames 150 to 400")
        if toggles < 245:
            problems.append(f"Alt+Enter held: only {toggles} toggles in 251 frame ends")
        held_from = next(r[1] for r in rows if r[0] == 151)
        held_to = next(r[1] for r in rows if r[0] == 401)
        fps, gap = rate(rows, held_from, held_to)
        print(f"  while held: {fps:.1f} frames/s (a mode change costs a palette wait), longest gap {gap} ms")
        if gap > 2000:
            problems.append(f"Alt+Enter held: the game stood still for {gap} ms")
        steady("after", rows, held_to + 1500, rows[-1][1], problems)
        back = samples_per_second(rows, held_to + 1500, rows[-1][1])
        if back < 0.8 * 44100:
            problems.append(f"after Alt+Enter the host takes {back:.0f} samples/s, not 44100")
        loud = max((abs(s) for s in heard), default=0)
        print(f"  heard on the sink after release: {len(heard)} samples, peak {loud}")
        if loud < 500:
            problems.append("after Alt+Enter nothing is heard on the sink")
        if status != 0:
            problems.append(f"Alt+Enter: the game ended with status {status} at the close button")
    finally:
        desktop.stop()


def x_killed(quadrillo, data, root, problems):
    print("X server killed under quadrillo:")
    desktop = Desktop(root)
    try:
        desktop.start_x()
        desktop.start_pulse()
        with open(os.path.join(root, "x-kill.log"), "w") as log:
            game = subprocess.Popen([quadrillo], cwd=data, env=desktop.env, stdout=log,
                                    stderr=subprocess.STDOUT)
            time.sleep(3)
            if game.poll() is not None:
                problems.append(f"quadrillo ended before the X server was killed ({game.returncode})")
                return
            killed = time.monotonic()
            desktop.x.kill()
            desktop.x.wait()
            try:
                status = game.wait(timeout=15)
                print(f"  exit status {status} after {time.monotonic() - killed:.2f} s")
                if status == 0:
                    problems.append("quadrillo ended with status 0 when its X server died")
            except subprocess.TimeoutExpired:
                game.kill()
                game.wait()
                problems.append("quadrillo hung for 15 s after its X server died")
    finally:
        desktop.stop()


def main():
    program, quadrillo, xwin, data, work = sys.argv[1:6]
    if not os.environ.get("DISPLAY") or not os.environ.get("QUADRILLO_SINK"):
        print("skipped: no DISPLAY or QUADRILLO_SINK (run through scripts/test.sh)")
        return SKIP
    for tool in ("Xvfb", "pulseaudio", "pactl", "parec", "xdotool"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is not installed")
            return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    problems = []
    for check in (lambda: pulse_outage(program, xwin, data, work, problems),
                  lambda: alt_enter(program, xwin, data, work, problems),
                  lambda: x_killed(quadrillo, data, work, problems)):
        try:
            check()
        except (RuntimeError, subprocess.TimeoutExpired, StopIteration) as e:
            problems.append(str(e) or type(e).__name__)
    for p in problems:
        print("FAILED:", p)
    if not problems:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

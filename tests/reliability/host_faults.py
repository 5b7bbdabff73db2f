#!/usr/bin/env python3
# Host faults under the real game (host_fault_game), each in a private X
# server and PulseAudio server started here as scripts/desktop.sh starts them,
# and stopped by process id:
# 1. PulseAudio stopped for 5 s while the menu music plays, then for 2 s
#    three times in a row: the game keeps 50 frames per second, the host takes
#    no sound while its server is away, and each time the music is heard again
#    within 2.5 s of the server's return (up to a second until the game's next
#    attempt, then the stream's start, about 1.4 s here as at program start),
#    in time with the machine: it matches quadrillo-replay's rendering of the
#    same frames where the machine's time says. The game ends normally.
# 2. Alt+Enter held for 5 s: the display toggles at every frame end, and
#    afterwards the game runs at 50 frames per second with the sound back.
# 3. The X server killed under quadrillo: it exits non-zero within seconds.
#
# usage: host_faults.py HOST_FAULT_GAME QUADRILLO QUADRILLO_REPLAY XWIN DATA_DIR WORK_DIR
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

import sound_match
from desktop import SKIP, stop

RATE = sound_match.RATE


class Desktop:  # Xvfb, and PulseAudio with a null sink that ALSA's default device plays into
    def __init__(self, root):
        self.dir = tempfile.mkdtemp(prefix="quadrillo-faults.", dir=root)
        runtime, self.sink = os.path.join(self.dir, "runtime"), "quadrillo_fault_sink"
        os.makedirs(os.path.join(runtime, "pulse"), mode=0o700)
        self.socket, asoundrc = os.path.join(runtime, "pulse", "native"), os.path.join(self.dir, "asoundrc")
        with open(asoundrc, "w") as f:
            f.write("</usr/share/alsa/alsa.conf>\npcm.!default { type pulse }\nctl.!default { type pulse }\n")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=runtime, PULSE_SERVER="unix:" + self.socket,
                        ALSA_CONFIG_PATH=asoundrc, HOME=self.dir)
        read, write = os.pipe()
        self.x = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                                   "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.env["DISPLAY"] = ":" + f.readline().strip()
        self.start_pulse()

    def start_pulse(self):
        self.pulse = subprocess.Popen(
            ["pulseaudio", "--system=false", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
             "-L", f"module-null-sink sink_name={self.sink} rate=44100 channels=1",
             "-L", f"module-native-protocol-unix socket={self.socket} auth-anonymous=1",
             "-L", "module-always-sink"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if subprocess.run(["pactl", "set-default-sink", self.sink], env=self.env,
                              capture_output=True).returncode == 0:
                return
            time.sleep(0.1)
        raise RuntimeError("PulseAudio did not start")

    def stop(self):
        stop(self.pulse)
        stop(self.x)
        shutil.rmtree(self.dir, ignore_errors=True)


class Game:  # host_fault_game in the data folder, its log read as it comes
    def __init__(self, program, data, desktop, log, extra_env=None):
        self.desktop, self.log_path, self.log = desktop, log, open(log, "w")
        self.process = subprocess.Popen([program], cwd=data, env=dict(desktop.env, **(extra_env or {})),
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def lines(self, kind="frame", fields=5):
        with open(self.log_path) as f:
            return [[float(p) for p in r[1:]] for r in map(str.split, f) if len(r) == fields + 1 and r[0] == kind]

    def wait_frame(self, n):
        for _ in range(600):
            if self.lines() and self.lines()[-1][0] >= n:
                return self.lines()
            if self.process.poll() is not None:
                raise RuntimeError(f"the game ended early with status {self.process.returncode}")
            time.sleep(0.1)
        raise RuntimeError(f"frame {n} was not reached in 60 s")

    def close(self, xwin):
        window = subprocess.run(["xdotool", "search", "--name", "^Orvalin: Quadrillo$"], env=self.desktop.env,
                                capture_output=True, text=True).stdout.split()
        if window:
            subprocess.run([xwin, "close", window[0]], env=self.desktop.env)
        try:
            return self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            stop(self.process)
        finally:
            self.log.close()


def steady(label, rows, first_ms, last_ms, problems):  # 50 frames/s; returns samples/s taken
    part = [r for r in rows if first_ms <= r[1] <= last_ms]
    span = max(1, part[-1][1] - part[0][1])
    fps, taken = (len(part) - 1) * 1000 / span, (part[-1][2] - part[0][2]) * 1000 / span
    gap = max(b[1] - a[1] for a, b in zip(part, part[1:]))
    print(f"  {label}: {fps:.1f} frames/s, longest gap {gap:.0f} ms, {taken:.0f} samples/s taken")
    if not 46 <= fps <= 54 or gap > 250:
        problems.append(f"{label}: {fps:.1f} frames per second, {gap:.0f} ms between two frames")
    return taken


def heard_again(game, reference, back, started, label, problems):
    recorder = sound_match.Recorder(game.desktop.sink, game.desktop.env)
    time.sleep(4)
    heard = recorder.stop()
    loud = np.flatnonzero(np.abs(heard - np.median(heard[:RATE // 20])) > 300)
    if not len(loud):
        return problems.append(f"{label}: no sound within 4 s of the server's return")
    at = loud[0] + RATE // 4  # a second of what is heard, once it has started
    rows = game.lines()  # frame n ends at the machine's sample 882 n
    expected = int(882 * np.interp((recorder.clock + at / RATE - started) * 1000,
                                   [r[1] for r in rows], [r[0] for r in rows]))
    lag, r = sound_match.align(heard[at:at + RATE], reference, expected - RATE // 2, expected + RATE // 4)
    r = max(r, float(np.median(sound_match.windows(reference[lag:lag + RATE], heard, at))))
    returned = recorder.clock + loud[0] / RATE - back
    print(f"  {label}: music heard {returned:.2f} s after the server's return; "
          f"correlation {r:.3f}, {(expected - lag) / RATE * 1000:.0f} ms behind the machine's time")
    if returned > 2.5 or r < 0.8:
        problems.append(f"{label}: music back after {returned:.2f} s, correlation {r:.3f} there")


def pulse_outages(program, replay, xwin, data, root, problems):
    print("PulseAudio stopped for 5 s under the menu music, then three times for 2 s:")
    out = os.path.join(root, "replay")
    subprocess.run([replay, "--data", data, "--keys", os.devnull, "--frames", "3000", "--out", out],
                   check=True, capture_output=True)
    reference = sound_match.read_wav(os.path.join(out, "audio.wav"))
    game = Game(program, data, Desktop(root), os.path.join(root, "pulse.log"))
    try:
        last = game.wait_frame(300)[-1][1]
        started = time.monotonic() - last / 1000  # the first frame's time
        for i, away in enumerate((5, 2, 2, 2)):
            gone = time.monotonic()
            stop(game.desktop.pulse)
            time.sleep(away)
            game.desktop.start_pulse()
            back = time.monotonic()
            heard_again(game, reference, back, started, f"outage {i + 1} ({away} s)", problems)
            if steady(f"server away {i + 1}", game.lines(), (gone - started) * 1000 + 1000,
                      (back - started) * 1000, problems) > 0:
                problems.append(f"outage {i + 1}: the host took sound while its server was away")
        steady("throughout", game.lines(), 0, game.lines()[-1][1], problems)
        for at, cost, opened in game.lines("reopen", 3):
            print(f"  reopening at {at / 1000:.2f} s took {cost:.1f} ms: {'opened' if opened else 'failed'}")
        if game.close(xwin) != 0:
            problems.append("PulseAudio outages: the game did not end normally")
    finally:
        game.desktop.stop()


def alt_enter(program, xwin, data, root, problems):
    print("Alt+Enter held for 5 s (frames 150 to 400):")
    game = Game(program, data, Desktop(root), os.path.join(root, "alt-enter.log"),
                {"QUADRILLO_HOLD_ALT_ENTER": "150 400"})
    try:
        game.wait_frame(401)
        time.sleep(4)
        recorder = sound_match.Recorder(game.desktop.sink, game.desktop.env)
        time.sleep(2)
        peak, rows, status = np.abs(recorder.stop()).max(initial=0), game.lines(), game.close(xwin)
        modes = {r[0]: r[4] for r in rows}
        toggles = sum(modes.get(k) != modes.get(k - 1) for k in range(151, 402))
        held = [r[1] for r in rows if r[0] in (151, 401)]
        gap = max(b[1] - a[1] for a, b in zip(rows, rows[1:]) if held[0] <= a[1] <= held[1])
        print(f"  {toggles} toggles in 251 frame ends; longest gap {gap:.0f} ms; peak heard after {peak:.0f}")
        if toggles < 245 or gap > 2000 or peak < 500 or status != 0:
            problems.append(f"Alt+Enter held: {toggles} toggles, {gap:.0f} ms gap, peak {peak:.0f}, "
                            f"status {status}")
        if steady("after", rows, held[1] + 1500, rows[-1][1], problems) < 0.8 * RATE:
            problems.append("after Alt+Enter the host does not take 44100 samples/s")
    finally:
        game.desktop.stop()


def x_killed(quadrillo, data, root, problems):
    print("X server killed under quadrillo:")
    desktop = Desktop(root)
    try:
        game = subprocess.Popen([quadrillo], cwd=data, env=desktop.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        time.sleep(3)
        if game.poll() is not None:
            return problems.append(f"quadrillo ended before its X server died ({game.returncode})")
        killed = time.monotonic()
        stop(desktop.x)
        try:
            status = game.wait(timeout=15)
            print(f"  exit status {status} after {time.monotonic() - killed:.2f} s")
            if status == 0:
                problems.append("quadrillo ended with status 0 when its X server died")
        except subprocess.TimeoutExpired:
            stop(game)
            problems.append("quadrillo hung for 15 s after its X server died")
    finally:
        desktop.stop()


def main():
    program, quadrillo, replay, xwin, data, work = sys.argv[1:7]
    if not os.environ.get("DISPLAY") or not os.environ.get("QUADRILLO_SINK"):
        print("skipped: no DISPLAY or QUADRILLO_SINK (run through scripts/test.sh)")
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    problems = []
    for check in (lambda: pulse_outages(program, replay, xwin, data, work, problems),
                  lambda: alt_enter(program, xwin, data, work, problems),
                  lambda: x_killed(quadrillo, data, work, problems)):
        try:
            check()
        except (RuntimeError, subprocess.SubprocessError, ValueError) as e:
            problems.append(str(e) or type(e).__name__)
    for p in problems:
        print("FAILED:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

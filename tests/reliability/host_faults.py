#!/usr/bin/env python3
# Host faults under the real game (host_fault_game), in a private X server and
# PulseAudio server started here as scripts/desktop.sh starts them, and
# stopped by process id: PulseAudio stopped for 5 s while the menu music
# plays, then for 2 s three times in a row. The game keeps 50 frames per
# second, and each time the music is heard again within 2.5 s of the server's
# return (up to a second until the game's next attempt, then the stream's
# start, about 1.4 s here as at program start), in time with the machine: it
# matches quadrillo-replay's rendering of the same frames where the machine's
# time says. Last, the X server is killed under the game: it must end, and
# not with success.
#
# usage: host_faults.py HOST_FAULT_GAME QUADRILLO_REPLAY DATA_DIR WORK_DIR
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

import sound_match
from desktop import stop

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


class Game:  # host_fault_game in the data folder, its frame log read as it comes
    def __init__(self, program, data, desktop, log):
        self.desktop, self.log_path = desktop, log
        with open(log, "w") as out:
            self.process = subprocess.Popen([program], cwd=data, env=desktop.env, stdout=out, stderr=out)

    def lines(self):
        with open(self.log_path) as f:
            return [[float(p) for p in r[1:]] for r in map(str.split, f) if len(r) == 3 and r[0] == "frame"]

    def wait_frame(self, n):
        for _ in range(600):
            if self.lines() and self.lines()[-1][0] >= n:
                return self.lines()
            time.sleep(0.1)
        raise RuntimeError(f"frame {n} was not reached in 60 s")


def steady(label, rows, problems):  # 50 frames per second, no long stall
    fps = (len(rows) - 1) * 1000 / (rows[-1][1] - rows[0][1])
    gap = max(b[1] - a[1] for a, b in zip(rows, rows[1:]))
    print(f"  {label}: {fps:.1f} frames/s, longest gap {gap:.0f} ms")
    if not 46 <= fps <= 54 or gap > 250:
        problems.append(f"{label}: {fps:.1f} frames per second, {gap:.0f} ms between two frames")


def heard_again(game, reference, back, started, label, problems):
    recorder = sound_match.Recorder(game.desktop.sink, game.desktop.env)
    time.sleep(5)
    heard = recorder.stop()
    loud = np.flatnonzero(np.abs(heard - np.median(heard[:RATE // 20])) > 300)
    if not len(loud):
        return problems.append(f"{label}: no sound within 5 s of the server's return")
    at = loud[0] + RATE // 2  # two seconds of what is heard, once it has settled
    rows = game.lines()  # frame n ends at the machine's sample 882 n
    expected = int(882 * np.interp((recorder.clock + at / RATE - started) * 1000,
                                   [r[1] for r in rows], [r[0] for r in rows]))
    lag, r = sound_match.align(heard[at:at + 2 * RATE], reference, expected - RATE // 2, expected + RATE // 4)
    r = max(r, float(np.median(sound_match.windows(reference[lag:lag + 2 * RATE], heard, at))))
    returned = recorder.clock + loud[0] / RATE - back
    print(f"  {label}: music heard {returned:.2f} s after the server's return; "
          f"correlation {r:.3f}, {(expected - lag) / RATE * 1000:.0f} ms behind the machine's time")
    if returned > 2.5 or r < 0.7:
        problems.append(f"{label}: music back after {returned:.2f} s, correlation {r:.3f} there")


def pulse_outages(program, replay, data, root, problems):
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
            stop(game.desktop.pulse)
            time.sleep(away)
            game.desktop.start_pulse()
            back = time.monotonic()
            heard_again(game, reference, back, started, f"outage {i + 1} ({away} s)", problems)
        steady("throughout", game.lines(), problems)
    finally:
        stop(game.process)
        game.desktop.stop()


def x_killed(program, data, root, problems):
    game = Game(program, data, Desktop(root), os.path.join(root, "x.log"))
    try:
        game.wait_frame(100)
        killed = time.monotonic()
        stop(game.desktop.x)
        try:
            status = game.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            status = "none: still running after 15 s"
        print(f"X server killed: the game ended {time.monotonic() - killed:.2f} s later, status {status}")
        if status != 1:
            problems.append(f"the game's status when its X server died: {status}")
    finally:
        stop(game.process)
        game.desktop.stop()


def main():
    program, replay, data, work = sys.argv[1:5]
    if not os.environ.get("DISPLAY") or not os.environ.get("QUADRILLO_SINK"):
        print("skipped: no DISPLAY or QUADRILLO_SINK (run through scripts/test.sh)")
        return 77
    os.makedirs(work, exist_ok=True)
    problems = []
    pulse_outages(program, replay, data, work, problems)
    x_killed(program, data, work, problems)
    for p in problems:
        print("FAILED:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

"""What the running game costs its host: starts the real quadrillo program in
the X server and audio sink that scripts/bench.sh started, goes to the title
menu (SPACE starts a game, ESC leaves it) and measures it for a while, then
starts a game with SPACE and measures play. For each part it reads the
process's CPU time (user + system, /proc/<pid>/stat) over the wall time, as a
share of one core, and its peak resident memory so far (VmHWM in
/proc/<pid>/status). Prints one JSON object.

Usage: running_game.py QUADRILLO DATA_DIR [SECONDS]"""
import json
import os
import subprocess
import sys
import time

import desktop

TITLE = "Orvalin: Quadrillo"
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid, path="/proc/%d/stat"):
    with open(path % pid) as f:
        # The command name may hold blanks; the fields after it are fixed.
        fields = f.read().rsplit(")", 1)[1].split()
    utime, stime = int(fields[11]), int(fields[12])  # fields 14 and 15 of stat
    return (utime + stime) / TICKS


def status_kb(pid, name):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(name + ":"):
                return int(line.split()[1])
    return 0


def thread_seconds(pid):
    """CPU seconds of each thread so far, by thread id: (name, seconds)."""
    threads = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            threads[tid] = (name, cpu_seconds(pid, "/proc/%%d/task/%s/stat" % tid))
        except OSError:
            pass  # the thread ended meanwhile
    return threads


def measure(pid, seconds):
    threads0 = thread_seconds(pid)
    cpu0, wall0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    cpu1, wall1 = cpu_seconds(pid), time.monotonic()
    threads1 = thread_seconds(pid)
    # Threads in the order they were started: the game's own main thread first.
    per_thread = []
    for tid in sorted(threads1, key=int):
        name, seconds1 = threads1[tid]
        seconds0 = threads0.get(tid, (name, 0.0))[1]
        per_thread.append({"tid": int(tid), "name": name,
                           "core_share": (seconds1 - seconds0) / (wall1 - wall0)})
    return {
        "threads": per_thread,
        "seconds": round(wall1 - wall0, 3),
        "cpu_seconds": round(cpu1 - cpu0, 3),
        "core_share": (cpu1 - cpu0) / (wall1 - wall0),
        "peak_rss_kb": status_kb(pid, "VmHWM"),
        "rss_kb": status_kb(pid, "VmRSS"),
    }


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, data = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
    if not os.environ.get("DISPLAY"):
        print("running_game: no DISPLAY (run through scripts/bench.sh)", file=sys.stderr)
        return 2
    game = subprocess.Popen([os.path.abspath(program)], cwd=data,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = desktop.find_window(TITLE, timeout=20.0)
        if window is None:
            print("running_game: the game window did not appear", file=sys.stderr)
            return 1
        time.sleep(2.5)                   # the 75 black start-up frames and the intro's start
        desktop.press(window, "space")    # the intro -> a game
        time.sleep(0.5)
        desktop.press(window, "Escape")   # the game -> the title menu
        time.sleep(1.0)
        menu = measure(game.pid, seconds)
        desktop.press(window, "space")    # the menu -> a new game
        time.sleep(0.5)
        play = measure(game.pid, seconds)
        if game.poll() is not None:
            print("running_game: the game ended early", file=sys.stderr)
            return 1
    finally:
        desktop.stop(game)
    print(json.dumps({"title_menu": menu, "play": play}))
    return 0


if __name__ == "__main__":
    sys.exit(main())

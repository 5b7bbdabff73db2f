"""Prints the one table of scripts/bench.sh: every figure beside the baseline
measured in the same run (the same process for the benchmarks), their ratio
and the target. Reads the Google Benchmark JSON files blitter.json,
sound.json, frame.json and replay.json (medians of the repetitions, CPU time) and
running.json (running_game.py) from the folder given.

Usage: bench_table.py RESULTS_DIR"""
import json
import os
import platform
import sys

FRAME_PERIOD_NS = 20e6  # 50 frames per second
REAL_TIME_RATE = 44100  # samples per second the host plays
MACHINE_FRAME_RATE = 50  # frames per second of the machine


def load(folder, name):
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


def medians(report):
    """run name (without /min_time...) -> the median's record."""
    out = {}
    for b in (report or {}).get("benchmarks", []):
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        if b.get("error_occurred"):
            continue
        out[b["run_name"].split("/")[0]] = b
    return out


def ns(record):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[record["time_unit"]]
    return record["cpu_time"] * scale


def time_text(value_ns):
    if value_ns >= 1e6:
        return "%.3f ms" % (value_ns / 1e6)
    if value_ns >= 1e3:
        return "%.2f us" % (value_ns / 1e3)
    return "%.1f ns" % value_ns


def rate_text(value, what):
    for unit, scale in (("G", 1e9), ("M", 1e6), ("k", 1e3)):
        if value >= scale:
            return "%.1f %s %s/s" % (value / scale, unit, what)
    return "%.0f %s/s" % (value, what)


def machine_text(context):
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            memory = ", %.1f GB memory" % (kb / 1048576)
    except (OSError, ValueError, IndexError):
        pass
    load = context.get("load_avg") or []
    return ("%s, %s cores at %s MHz%s; %s %s; load average %s when the benchmarks ran (%s)"
            % (model, context.get("num_cpus", "?"), context.get("mhz_per_cpu", "?"), memory,
               platform.system(), platform.release(),
               " ".join("%.2f" % v for v in load[:3]) or "?", context.get("date", "?")))


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder = sys.argv[1]
    reports = {name: load(folder, name + ".json") for name in ("blitter", "sound", "frame", "replay")}
    running = load(folder, "running.json")
    b = medians(reports["blitter"])
    s = medians(reports["sound"])
    f = medians(reports["frame"])
    r = medians(reports["replay"])
    rows = []  # (group, what, figure, baseline, ratio, target, met)

    def ratio_row(group, what, name, base_name, base_label, limit):
        if name not in b or base_name not in b:
            rows.append((group, what, "missing", base_label, "", "", ""))
            return
        r = ns(b[name]) / ns(b[base_name])
        target = "<= %g x" % limit if limit else ""
        met = ("yes" if r <= limit else "NO") if limit else ""
        rows.append((group, what, time_text(ns(b[name])),
                     "%s %s" % (base_label, time_text(ns(b[base_name]))), "%.2f x" % r, target, met))

    memcpy = "memcpy of 76800 bytes by rows"
    ratio_row("blitter", "1:1 opaque draw, 320 x 240", "BM_DrawOpaqueFullScreen",
              "BM_MemcpyFullScreenByRows", memcpy, 2)
    ratio_row("blitter", "1:1 keyed draw, 320 x 240", "BM_DrawKeyedFullScreen",
              "BM_MemcpyFullScreenByRows", memcpy, 4)
    ratio_row("blitter", "1 x 1 sprite scaled to 320 x 240", "BM_ScaledPixelFill",
              "BM_MemsetFullScreen", "memset of 76800 bytes by rows", 2)
    ratio_row("blitter", "text line of 40 glyphs (7 x 9, keyed)", "BM_TextLine40",
              "BM_MemcpyFullScreenByRows", memcpy, None)
    ratio_row("blitter", "title reveal draw (195 x 26, tilted, stretched)", "BM_TitleRevealDraw",
              "BM_MemcpyFullScreenByRows", memcpy, None)

    if "BM_ChipRenderBusy" in s:
        rate = s["BM_ChipRenderBusy"]["items_per_second"]
        r = rate / REAL_TIME_RATE
        rows.append(("sound", "chip_render, 3 tones + noise + envelope", rate_text(rate, "samples"),
                     "real time 44100 samples/s", "%.0f x real time" % r, ">= 1000 x",
                     "yes" if r >= 1000 else "NO"))
    if "BM_SoundOut" in s and "BM_MachineSpendBaseline" in s:
        rate = s["BM_SoundOut"]["items_per_second"]
        base = s["BM_MachineSpendBaseline"]["items_per_second"]
        rows.append(("sound", "sound_out calls", rate_text(rate, "calls"),
                     "machine_spend(6) %s" % rate_text(base, "calls"), "%.2f x its time" % (base / rate), "", ""))

    for name, what, limit in (("BM_FrameTitleMenu", "title menu frame", None),
                              ("BM_FramePlayFullBoard", "play frame, full board", 0.3e6),
                              ("BM_FrameGameOver", "game over frame", None)):
        if name not in f:
            rows.append(("whole frames", what, "missing", "", "", "", ""))
            continue
        t = ns(f[name])
        rows.append(("whole frames", what + " (no window)", time_text(t), "frame period 20 ms",
                     "%.2f %%" % (100 * t / FRAME_PERIOD_NS),
                     "< %s" % time_text(limit) if limit else "",
                     ("yes" if t < limit else "NO") if limit else ""))

    if "BM_ReplayGoldenGame" in r:
        rate = r["BM_ReplayGoldenGame"]["items_per_second"]  # frames per second of CPU time
        x = rate / MACHINE_FRAME_RATE
        rows.append(("replay", "quadrillo-replay, golden game (CPU time)", rate_text(rate, "frames"),
                     "real time 50 frames/s", "%.0f x real time" % x, ">= 150 x",
                     "yes" if x >= 150 else "NO"))
    else:
        rows.append(("replay", "quadrillo-replay, golden game", "missing", "", "", "", ""))

    if running:
        for part, what in (("title_menu", "title menu"), ("play", "play")):
            m = running.get(part)
            if not m:
                continue
            share = 100 * m["core_share"]
            rows.append(("running game", "%s, CPU over %.0f s" % (what, m["seconds"]),
                         "%.2f s CPU" % m["cpu_seconds"], "one core", "%.2f %%" % share, "< 3 %",
                         "yes" if share < 3 else "NO"))
            mb = m["peak_rss_kb"] / 1024
            rows.append(("running game", "%s, peak resident memory" % what, "%.1f MB" % mb,
                         "the 40 MB budget", "%.0f %%" % (100 * mb / 40), "< 40 MB",
                         "yes" if mb < 40 else "NO"))
    else:
        rows.append(("running game", "not measured (no X server)", "", "", "", "", ""))

    header = ("group", "measurement", "figure", "baseline (same run)", "ratio", "target", "met")
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---" for _ in header) + "|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    context = next((r["context"] for r in reports.values() if r), {})
    print()
    print("Machine: " + machine_text(context) + ".")
    print("Benchmarks: median CPU time of the repetitions; "
          "running game: user + system CPU of the quadrillo process in Xvfb with a "
          "PulseAudio null sink.")
    if running:
        for part in ("title_menu", "play"):
            m = running.get(part) or {}
            threads = ", ".join("%s %.2f %%" % (t["name"], 100 * t["core_share"])
                                for t in m.get("threads", []))
            if threads:
                print("Threads in %s (main thread first): %s." % (part.replace("_", " "), threads))
    return 0


if __name__ == "__main__":
    sys.exit(main())

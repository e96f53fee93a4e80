#!/usr/bin/env python3
"""Switching speed of pelorine.exe against a minimal reference switcher.

    python3 tests/e2e/bench_switch.py [--exe build/mingw-x64/pelorine.exe]
        [--windows 100] [--rounds 20] [--warmup 2] [--blocks 3] [--json PATH]

With --windows fixture windows on the desktop, plr_benchprobe.exe (inside
the Wine session) injects Alt+Tab, measures until the switcher is visible,
then injects the Alt release and measures until the chosen window is in the
foreground, for Pelorine and for plr_refswitch.exe (RegisterHotKey Alt+Tab, a
topmost dialog with a tree view of the same windows, SetForegroundWindow on
release) in the same session, the two taking turns in --blocks blocks of
rounds so that both meet the same load.  Prints medians, 95th percentiles and the
ratios Pelorine / reference.  The test build of Pelorine also times its own
keyboard hook callback; its 99th percentile is printed from the durations it
writes at exit (PLR_HOOK_TIMING_FILE).  Figures only: nothing here fails on a
slow machine, only when a program does not switch at all.  PLR_BENCH_KEEP=DIR
keeps the raw step notes of each run there.
"""

import argparse
import json
import os
import shutil
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from harness import MAIN_CLASS, WM_CLOSE, WineSession, wait_until, windows_path  # noqa: E402


def percentile(values, p):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    rank = max(0, min(len(ordered) - 1, int(round(p / 100.0 * len(ordered) + 0.5)) - 1))
    return ordered[rank]


def summary(values):
    return {"n": len(values), "median": statistics.median(values) if values else float("nan"),
            "p95": percentile(values, 95)}


def measure(session, exe, window_class, fixture_pids, rounds, warmup, env_extra=None):
    saved = dict(session.env)
    session.env.update(env_extra or {})
    try:
        proc = session.start_program(exe, cwd=session.workdir)
    finally:
        session.env.clear()
        session.env.update(saved)
    main = wait_until(lambda: [w for w in session.windows() if w["class"] == window_class], 30,
                      message=window_class)[0]
    try:
        pids = [arg for pid in fixture_pids for arg in ("--fixture-pid", str(pid))]
        res = session.run(["wine", session.tool("plr_benchprobe.exe"), "--switcher-pid", str(main["pid"]),
                           *pids, "--rounds", str(rounds), "--warmup", str(warmup)],
                          timeout=60 + 8 * (rounds + warmup), check=False)
        lines = [line for line in res.stdout.splitlines() if line.startswith("{")]
        for line in res.stderr.splitlines():
            if line.startswith("round "):
                print(f"  {os.path.basename(exe)}: {line}", file=sys.stderr)
        if not lines:
            raise RuntimeError(f"probe printed nothing ({res.returncode}): {res.stdout}{res.stderr}")
        return json.loads(lines[-1])
    finally:
        session.post(main["hwnd"], WM_CLOSE)
        try:
            proc.wait(20)
        except AssertionError:
            proc.kill()


def hook_timings(path):
    try:
        with open(path) as f:
            lines = f.read().split()
    except OSError:
        return None
    if len(lines) < 2 or lines[0] != "frequency":
        return None
    frequency = float(lines[1])
    micros = [int(t) * 1e6 / frequency for t in lines[2:]]
    return micros


PHASES = ("discovered", "pruned", "refreshed", "thread_started", "command_done", "dialog_init", "plan_built",
          "images_ready", "tree_filled", "dialog_shown")


def phase_timings(paths):
    """Per opening hotkey: milliseconds from the hotkey to each later step of
    that opening, from the notes the test build writes at exit (one file per
    run of the program)."""
    openings = []
    for path in paths:
        try:
            with open(path) as f:
                notes = [line.split() for line in f if line.strip()]
        except OSError:
            continue
        openings += openings_of(notes)
    if not openings:
        return None
    steps = {}
    for name in PHASES:
        values = [(o[name] - o["hotkey"]) / 1000.0 for o in openings if name in o]
        if values:
            steps[name] = statistics.median(values)
    return {"openings": len(openings), "median_ms_since_hotkey": steps}


def openings_of(notes):
    openings, current = [], None
    for name, micros in notes:
        micros = int(micros)
        if name == "hotkey":
            if current is not None and "thread_started" in current:
                openings.append(current)
            current = {"hotkey": micros}
        elif current is not None and name not in current:
            current[name] = micros
    if current is not None and "thread_started" in current:
        openings.append(current)
    return openings


def main():
    repo = os.path.abspath(os.path.join(HERE, "..", ".."))
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", default=os.path.join(repo, "build", "mingw-x64", "pelorine.exe"))
    parser.add_argument("--windows", type=int, default=100)
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--warmup", type=int, default=2)
    parser.add_argument("--blocks", type=int, default=3,
                        help="the rounds are split into this many blocks, Pelorine and the reference taking turns, "
                             "so that both see the same load on a shared machine")
    parser.add_argument("--json")
    args = parser.parse_args()
    exe = os.path.abspath(args.exe)
    tools = os.path.dirname(exe)

    results = {}
    with WineSession(tools_dir=tools) as s:
        # A fixture process shows at most 64 windows: several share the load.
        fixtures, left = [], args.windows
        while left > 0:
            count = min(50, left)
            # The log shows when the windows are up; WM_GETICON, which only
            # Pelorine sends, is answered without writing a line, as a real
            # application answers it.
            fixtures.append(s.start_fixture(caption=f"bench {len(fixtures)} window %d", log=True, windows=count,
                                            quiet_icons=True))
            fixtures[-1].wait_hwnds(count=count, timeout=120)
            left -= count
        pids = [f.winpid for f in fixtures]
        blocks = max(1, min(args.blocks, args.rounds))
        hook, phase_files = [], []
        for block in range(blocks):
            rounds = args.rounds // blocks + (1 if block < args.rounds % blocks else 0)
            timing_file = os.path.join(s.workdir, f"hook-timing-{block}.txt")
            phase_files.append(os.path.join(s.workdir, f"phase-timing-{block}.txt"))
            runs = [("pelorine", exe, MAIN_CLASS, {"PLR_HOOK_TIMING_FILE": windows_path(timing_file),
                                                   "PLR_PHASE_TIMING_FILE": windows_path(phase_files[-1])}),
                    ("reference", os.path.join(tools, "plr_refswitch.exe"), "PlrRefSwitch", None)]
            if block % 2:
                runs.reverse()
            for name, program, window_class, env in runs:
                r = measure(s, program, window_class, pids, rounds, args.warmup, env)
                total = results.setdefault(name, {"open_ms": [], "activate_ms": [], "failures": 0,
                                                  "not_in_front": 0, "not_shown": 0, "not_switched": 0})
                total["open_ms"] += r["open_ms"]
                total["activate_ms"] += r["activate_ms"]
                for kind in ("failures", "not_in_front", "not_shown", "not_switched"):
                    total[kind] += r.get(kind, 0)
            hook += hook_timings(timing_file) or []
        phases = phase_timings(phase_files)
        if os.environ.get("PLR_BENCH_KEEP"):
            for path in phase_files:
                if os.path.exists(path):
                    shutil.copy(path, os.path.join(os.environ["PLR_BENCH_KEEP"], os.path.basename(path)))

    print(f"switching with {args.windows} windows, {args.rounds} rounds in {blocks} blocks, each after "
          f"{args.warmup} warm-up rounds")
    rows = {}
    for name in ("pelorine", "reference"):
        r = results[name]
        rows[name] = {"open": summary(r["open_ms"]), "activate": summary(r["activate_ms"]),
                      "failures": r["failures"], "not_in_front": r["not_in_front"],
                      "not_shown": r["not_shown"], "not_switched": r["not_switched"]}
        print(f"  {name:9}  hotkey -> switcher visible: median {rows[name]['open']['median']:8.2f} ms, "
              f"p95 {rows[name]['open']['p95']:8.2f} ms | Alt release -> chosen window in front: "
              f"median {rows[name]['activate']['median']:8.2f} ms, p95 {rows[name]['activate']['p95']:8.2f} ms"
              f" | rounds not finished: {r['failures']} (start window not in front {r['not_in_front']}, "
              f"switcher not shown {r['not_shown']}, nothing switched {r['not_switched']})")
    for step in ("open", "activate"):
        ratio_median = rows["pelorine"][step]["median"] / rows["reference"][step]["median"]
        ratio_p95 = rows["pelorine"][step]["p95"] / rows["reference"][step]["p95"]
        print(f"  ratio pelorine/reference, {step:8}: median {ratio_median:5.2f}, p95 {ratio_p95:5.2f}")
    if hook:
        slowest = ", ".join(f"{t:.1f}" for t in sorted(hook)[-3:])
        print(f"  keyboard hook callback ({len(hook)} calls): median {statistics.median(hook):.1f} us, "
              f"p90 {percentile(hook, 90):.1f} us, p99 {percentile(hook, 99):.1f} us; slowest three {slowest} us")
    else:
        print("  keyboard hook callback: no timings (not a test build?)")
    if phases and phases["openings"]:
        steps = ", ".join(f"{name} {ms:.1f}" for name, ms in phases["median_ms_since_hotkey"].items())
        print(f"  pelorine opening steps, median ms after the hotkey ({phases['openings']} openings): {steps}")
    else:
        print("  pelorine opening steps: no timings (not a test build?)")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"results": rows, "hook_us": hook, "phases": phases}, f)
    return 0 if rows["pelorine"]["open"]["n"] and rows["reference"]["open"]["n"] else 1


if __name__ == "__main__":
    sys.exit(main())

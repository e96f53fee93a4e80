#!/usr/bin/env python3
"""Switching speed of pelorine.exe against a minimal reference switcher.

    python3 tests/e2e/bench_switch.py [--exe build/mingw-x64/pelorine.exe]
        [--windows 100] [--processes N] [--rounds 20] [--warmup 2]
        [--blocks 3] [--burst TABS [--rate 30]] [--baseline EXE]
        [--tools DIR] [--reference EXE] [--wine DIR] [--json PATH]

With --windows fixture windows on the desktop, spread over --processes
processes (default: 50 windows to a process), Alt+Tab is pressed (X key
events, xdotool) and plr_benchprobe.exe (inside the Wine session) measures
from the Tab until the switcher is visible, then Alt is released and it
measures until the chosen window is in the foreground (each key timed by the
probe's own keyboard hook as it arrives), for Pelorine and for
plr_refswitch.exe (RegisterHotKey Alt+Tab, a
topmost dialog with a tree view of the same windows, SetForegroundWindow on
release) in the same session, the two taking turns in --blocks blocks of
rounds so that both meet the same load.  Prints medians, 95th percentiles and
the ratios Pelorine / reference.

--burst TABS measures bursts instead: Alt held, TABS Tabs at --rate a second,
Alt released at once after the last; the time from the release until the
window TABS steps on is in front (the probe reads the order from the
switcher's tree first), and the rounds where another window stayed in front.

The test build of Pelorine also times its own keyboard hook callback (99th
percentile printed, PLR_HOOK_TIMING_FILE) and notes the steps of each switch
(PLR_PHASE_TIMING_FILE): the medians of an opening's steps, and the
main-thread time of each key press while the switcher is open (from the
hotkey message to the end of its command; bursts have them).  --baseline EXE
measures another build of Pelorine in the same turns (labelled "baseline"),
to compare two builds under the same load.  --wine DIR runs the Wine
installed in DIR (PLR_WINE, see harness.py).  Figures only: nothing here
fails on a slow machine, only when a program does not switch at all.
PLR_BENCH_KEEP=DIR keeps the raw step notes of each run there.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from harness import MAIN_CLASS, WM_CLOSE, WineSession, wait_until, windows_path, wine_command  # noqa: E402

# A fixture process shows at most 64 windows.
MAX_PER_PROCESS = 50


def percentile(values, p):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    rank = max(0, min(len(ordered) - 1, int(round(p / 100.0 * len(ordered) + 0.5)) - 1))
    return ordered[rank]


def summary(values):
    return {"n": len(values), "median": statistics.median(values) if values else float("nan"),
            "p95": percentile(values, 95)}


def measure(session, exe, window_class, fixture_pids, args, env_extra=None, rounds=None):
    pids = [arg for pid in fixture_pids for arg in ("--fixture-pid", str(pid))]
    probe = ["wine", session.tool("plr_benchprobe.exe"), "--switcher-class", window_class, *pids,
             "--rounds", str(rounds), "--warmup", str(args.warmup)]
    started = []

    # The probe's hook goes in first (see benchprobe.cpp); it asks for the
    # switcher with "READY".
    def start_switcher():
        saved = dict(session.env)
        session.env.update(env_extra or {})
        try:
            started.append(session.start_program(exe, cwd=session.workdir))
        finally:
            session.env.clear()
            session.env.update(saved)

    try:
        stdout, stderr, code = run_probe(session, probe, args, rounds + args.warmup, start_switcher)
        lines = [line for line in stdout.splitlines() if line.startswith("{")]
        for line in stdout.splitlines():
            if line.startswith("round "):
                print(f"  {os.path.basename(exe)}: {line}", file=sys.stderr)
        if not lines:
            raise RuntimeError(f"probe printed nothing ({code}): {stdout}{stderr}")
        return json.loads(lines[-1])
    finally:
        if started:
            proc = started[0]
            for window in session.windows():
                if window["class"] == window_class:
                    session.post(window["hwnd"], WM_CLOSE)
            try:
                proc.wait(20)
            except AssertionError:
                proc.kill()


def run_probe(session, probe, args, rounds, start_switcher):
    """Runs the probe, starts the switcher when it prints READY and gives it
    the keys it asks for, as X key events
    (xdotool), the way a person's keys arrive: Alt+Tab when it prints OPEN,
    the Alt release for RELEASE, and for BURST Alt, args.burst Tabs at
    args.rate a second and the release. Returns the probe's output, its
    errors and its exit code."""
    if args.burst:
        probe = [*probe, "--burst", str(args.burst)]
    keys = {
        "OPEN": ["keydown", "alt", "key", "Tab"],
        "RELEASE": ["keyup", "alt"],
        "BURST": ["keydown", "alt", "key", "--delay", str(1000 // max(1, args.rate)), *(["Tab"] * args.burst),
                  "keyup", "alt"],
    }
    with tempfile.TemporaryFile() as errors:
        proc = subprocess.Popen(wine_command(probe), env=session.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=errors, start_new_session=True)
        out = []
        deadline = time.monotonic() + 60 + rounds * (30 + args.burst / max(1, args.rate))
        try:
            for raw in iter(proc.stdout.readline, b""):
                line = raw.decode(errors="replace").strip()
                out.append(line)
                word = line.split(" ")[0]
                if word == "READY":
                    start_switcher()
                if word in keys:
                    session.xdotool(*keys[word], timeout=30 + args.burst)
                if time.monotonic() > deadline:
                    break
            proc.wait(max(1, deadline - time.monotonic()))
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait(10)
        errors.seek(0)
        return "\n".join(out), errors.read().decode(errors="replace"), proc.returncode


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


PHASES = ("enumerated", "icons_asked", "discovered", "pruned", "refreshed", "thread_started", "command_done",
          "dialog_init", "plan_built", "images_ready", "tree_filled", "dialog_shown")


def read_notes(paths):
    runs = []
    for path in paths:
        try:
            with open(path) as f:
                runs.append([(line.split()[0], int(line.split()[1])) for line in f if line.strip()])
        except OSError:
            continue
    return runs


def phase_timings(runs):
    """Per opening hotkey: milliseconds from the hotkey to each later step of
    that opening, from the notes the test build writes at exit (one list per
    run of the program)."""
    openings = []
    for notes in runs:
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
        if name == "hotkey":
            if current is not None and "thread_started" in current:
                openings.append(current)
            current = {"hotkey": micros}
        elif current is not None and name not in current:
            current[name] = micros
    if current is not None and "thread_started" in current:
        openings.append(current)
    return openings


def press_costs(runs):
    """Milliseconds of main-thread time of each key press that found the
    switcher opening or open: from its hotkey message to the end of its
    command (presses queued behind another wait out of it)."""
    costs = []
    for notes in runs:
        start, opening = None, False
        for name, micros in notes:
            if name == "hotkey":
                start, opening = micros, False
            elif name == "thread_started" and start is not None:
                opening = True
            elif name == "command_done" and start is not None:
                if not opening:
                    costs.append((micros - start) / 1000.0)
                start = None
    return costs


def start_fixtures(session, windows, processes):
    processes = max(1, min(windows, processes or -(-windows // MAX_PER_PROCESS)))
    fixtures = []
    for index in range(processes):
        count = windows // processes + (1 if index < windows % processes else 0)
        # The log shows when the windows are up; WM_GETICON, which only
        # Pelorine sends, is answered without writing a line, as a real
        # application answers it.
        fixtures.append(session.start_fixture(caption=f"bench {index} window %d", log=True, windows=count,
                                              quiet_icons=True))
    for fixture, index in zip(fixtures, range(processes)):
        count = windows // processes + (1 if index < windows % processes else 0)
        fixture.wait_hwnds(count=count, timeout=120)
    return fixtures, processes


def main():
    repo = os.path.abspath(os.path.join(HERE, "..", ".."))
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", default=os.path.join(repo, "build", "mingw-x64", "pelorine.exe"))
    parser.add_argument("--windows", type=int, default=100)
    parser.add_argument("--processes", type=int, default=0,
                        help="processes the windows are spread over (default: 50 windows to a process)")
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--warmup", type=int, default=2)
    parser.add_argument("--blocks", type=int, default=3,
                        help="the rounds are split into this many blocks, Pelorine and the reference taking turns, "
                             "so that both see the same load on a shared machine")
    parser.add_argument("--burst", type=int, default=0, help="Tabs per round: measure bursts instead")
    parser.add_argument("--rate", type=int, default=30, help="Tabs a second in a burst")
    parser.add_argument("--baseline", help="another build of Pelorine, measured in the same turns")
    parser.add_argument("--tools", help="where plr_refswitch.exe and the probe are (default: beside --exe)")
    parser.add_argument("--reference", help="the reference switcher (default: plr_refswitch.exe in --tools); a "
                                            "32-bit product is compared with a 32-bit reference, which pays the "
                                            "same WoW64 price for each call")
    parser.add_argument("--wine", help="the Wine installation to run (PLR_WINE)")
    parser.add_argument("--json")
    args = parser.parse_args()
    exe = os.path.abspath(args.exe)
    tools = os.path.abspath(args.tools) if args.tools else os.path.dirname(exe)
    if args.wine:
        os.environ["PLR_WINE"] = os.path.abspath(args.wine)

    results = {}
    reference = os.path.abspath(args.reference) if args.reference else os.path.join(tools, "plr_refswitch.exe")
    programs = [("pelorine", exe, MAIN_CLASS), ("reference", reference, "PlrRefSwitch")]
    if args.baseline:
        programs.insert(1, ("baseline", os.path.abspath(args.baseline), MAIN_CLASS))
    notes = {name: [] for name, _, _ in programs}
    hooks = {name: [] for name, _, _ in programs}
    with WineSession(tools_dir=tools) as s:
        fixtures, processes = start_fixtures(s, args.windows, args.processes)
        pids = [f.winpid for f in fixtures]
        blocks = max(1, min(args.blocks, args.rounds))
        for block in range(blocks):
            rounds = args.rounds // blocks + (1 if block < args.rounds % blocks else 0)
            # Each program goes first in turn.
            turn = programs[block % len(programs):] + programs[:block % len(programs)]
            for name, program, window_class in turn:
                env, timing_file, phase_file = None, None, None
                if window_class == MAIN_CLASS:
                    timing_file = os.path.join(s.workdir, f"hook-timing-{name}-{block}.txt")
                    phase_file = os.path.join(s.workdir, f"phase-timing-{name}-{block}.txt")
                    env = {"PLR_HOOK_TIMING_FILE": windows_path(timing_file),
                           "PLR_PHASE_TIMING_FILE": windows_path(phase_file)}
                r = measure(s, program, window_class, pids, args, env, rounds)
                total = results.setdefault(name, {})
                for key, value in r.items():
                    total[key] = total.get(key, [] if isinstance(value, list) else 0) + value
                if timing_file:
                    hooks[name] += hook_timings(timing_file) or []
                    notes[name] += read_notes([phase_file])
                    if os.environ.get("PLR_BENCH_KEEP") and os.path.exists(phase_file):
                        shutil.copy(phase_file, os.path.join(os.environ["PLR_BENCH_KEEP"],
                                                             os.path.basename(phase_file)))

    mode = f"bursts of {args.burst} Tabs at {args.rate} a second" if args.burst else "switching"
    print(f"{mode} with {args.windows} windows in {processes} processes, {args.rounds} rounds in {blocks} blocks, "
          f"each after {args.warmup} warm-up rounds")
    rows = {}
    for name, _, _ in programs:
        r = results[name]
        row = rows[name] = {}
        if args.burst:
            row["front"] = summary(r.get("burst_front_ms", []))
            for kind in ("failures", "wrong", "late", "unread", "lost_keys", "warmup_failures"):
                row[kind] = r.get(kind, 0)
            print(f"  {name:9}  Alt release -> the window {args.burst} steps on in front: median "
                  f"{row['front']['median']:8.2f} ms, p95 {row['front']['p95']:8.2f} ms | rounds not finished: "
                  f"{row['failures']} (another window in front {row['wrong']}, none in time {row['late']}, "
                  f"order not read {row['unread']}; rounds where Tabs went missing {row['lost_keys']}); "
                  f"warm-up rounds not finished: {row['warmup_failures']}")
        else:
            row["open"] = summary(r.get("open_ms", []))
            row["activate"] = summary(r.get("activate_ms", []))
            for kind in ("failures", "not_in_front", "not_shown", "not_switched", "warmup_failures"):
                row[kind] = r.get(kind, 0)
            print(f"  {name:9}  hotkey -> switcher visible: median {row['open']['median']:8.2f} ms, "
                  f"p95 {row['open']['p95']:8.2f} ms | Alt release -> chosen window in front: "
                  f"median {row['activate']['median']:8.2f} ms, p95 {row['activate']['p95']:8.2f} ms"
                  f" | rounds not finished: {row['failures']} (start window not in front {row['not_in_front']}, "
                  f"switcher not shown {row['not_shown']}, nothing switched {row['not_switched']}); "
                  f"warm-up rounds not finished: {row['warmup_failures']}")
    for name in [n for n, _, _ in programs if n != "reference"]:
        for step in (("front",) if args.burst else ("open", "activate")):
            ratio_median = rows[name][step]["median"] / rows["reference"][step]["median"]
            ratio_p95 = rows[name][step]["p95"] / rows["reference"][step]["p95"]
            print(f"  ratio {name}/reference, {step:8}: median {ratio_median:5.2f}, p95 {ratio_p95:5.2f}")
    extra = {}
    for name in [n for n, _, c in programs if c == MAIN_CLASS]:
        hook, phases, presses = hooks[name], phase_timings(notes[name]), press_costs(notes[name])
        extra[name] = {"hook_us": hook, "phases": phases, "press_ms": presses}
        if hook:
            slowest = ", ".join(f"{t:.1f}" for t in sorted(hook)[-3:])
            print(f"  {name}: keyboard hook callback ({len(hook)} calls): median {statistics.median(hook):.1f} us, "
                  f"p90 {percentile(hook, 90):.1f} us, p99 {percentile(hook, 99):.1f} us; slowest three "
                  f"{slowest} us")
        else:
            print(f"  {name}: keyboard hook callback: no timings (not a test build?)")
        if phases and phases["openings"]:
            steps = ", ".join(f"{step} {ms:.1f}" for step, ms in phases["median_ms_since_hotkey"].items())
            print(f"  {name}: opening steps, median ms after the hotkey ({phases['openings']} openings): {steps}")
        if presses:
            print(f"  {name}: main thread per key press while the switcher is open ({len(presses)} presses): "
                  f"median {statistics.median(presses):.2f} ms, p95 {percentile(presses, 95):.2f} ms, "
                  f"longest {max(presses):.2f} ms")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"mode": "burst" if args.burst else "switch", "windows": args.windows,
                       "processes": processes, "results": rows, "pelorine": extra.get("pelorine", {}),
                       "baseline": extra.get("baseline"), "hook_us": extra.get("pelorine", {}).get("hook_us"),
                       "phases": extra.get("pelorine", {}).get("phases")}, f)
    step = "front" if args.burst else "open"
    return 0 if all(rows[name][step]["n"] for name in rows) else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""How long Pelorine's main thread goes without taking sent messages.

    python3 tests/e2e/bench_stall.py [--exe build/mingw-x64/pelorine.exe]
        [--windows 1000] [--taps 5] [--json PATH]

The keyboard hook runs on the main thread whenever it takes sent messages;
Windows skips a hook that does not answer within its time-out and, after a
few misses, removes it for good without telling the program.  So the main
thread must never stay away for long, also at a thousand windows and when
half of them vanish at once.

--windows fixture windows in processes of 50 come up; Alt+Tab is tapped
--taps times (the first opening discovers them all); then the processes of
half the windows are ended at once and Alt+Tab tapped --taps times again
(the next opening prunes them).  The test build of Pelorine runs a probe
thread that keeps sending WM_NULL to its main window and writes how long
each send waited (PLR_SEND_LATENCY_FILE).  Prints the longest waits of each
half and of the whole run.  Figures only: nothing here fails on a slow
machine, only when no figures come at all.
"""

import argparse
import json
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from harness import MAIN_CLASS, WineSession, wait_until, windows_path  # noqa: E402

PER_PROCESS = 50


def read_latencies(path):
    """(milliseconds since the first probe send, milliseconds it waited) for
    each probe send, in the order they were sent."""
    with open(path) as f:
        lines = [line.split() for line in f if line.strip()]
    if not lines or lines[0][0] != "frequency":
        return []
    frequency = float(lines[0][1])
    sends = [(int(at), int(waited)) for at, waited in lines[1:]]
    if not sends:
        return []
    first = sends[0][0]
    return [((at - first) * 1000.0 / frequency, waited * 1000.0 / frequency) for at, waited in sends]


def taps(session, count, pause):
    for _ in range(count):
        session.xdotool("key", "alt+Tab")
        time.sleep(pause)


def main():
    repo = os.path.abspath(os.path.join(HERE, "..", ".."))
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", default=os.path.join(repo, "build", "mingw-x64", "pelorine.exe"))
    parser.add_argument("--windows", type=int, default=1000)
    parser.add_argument("--taps", type=int, default=5)
    parser.add_argument("--pause", type=float, default=3.0, help="seconds after each tap")
    parser.add_argument("--json")
    args = parser.parse_args()
    exe = os.path.abspath(args.exe)

    with WineSession(tools_dir=os.path.dirname(exe)) as s:
        fixtures, left = [], args.windows
        while left > 0:
            count = min(PER_PROCESS, left)
            fixtures.append(s.start_fixture(caption=f"stall {len(fixtures)} window %d", log=True, windows=count,
                                            quiet_icons=True))
            left -= count
        for fixture in fixtures:
            wait_until(lambda f=fixture: f.events("READY"), 300, message=f"the windows of {fixture.name}")

        latency_file = os.path.join(s.workdir, "send-latency.txt")
        phase_file = os.path.join(s.workdir, "phases.txt")
        s.env["PLR_SEND_LATENCY_FILE"] = windows_path(latency_file)
        s.env["PLR_PHASE_TIMING_FILE"] = windows_path(phase_file)
        proc = s.start_program(exe, cwd=s.workdir)
        del s.env["PLR_SEND_LATENCY_FILE"]
        del s.env["PLR_PHASE_TIMING_FILE"]
        wait_until(lambda: [w for w in s.windows() if w["class"] == MAIN_CLASS], 60, message=MAIN_CLASS)

        # The probe starts with the main window; its first send is the time
        # line's zero.
        started = time.monotonic()
        taps(s, args.taps, args.pause)
        first_half = time.monotonic() - started
        vanishing = fixtures[: len(fixtures) // 2]
        for fixture in vanishing:
            fixture.kill()
        for fixture in vanishing:
            fixture.wait(30)
        taps(s, args.taps, args.pause)
        s.close_pelorine(proc, 60)
        sends = read_latencies(latency_file)
        try:
            with open(phase_file) as f:
                phases = [(line.split()[0], int(line.split()[1]) / 1000.0) for line in f if line.strip()]
        except OSError:
            phases = []

    if not sends:
        print("no probe figures (not a test build?)")
        return 1
    waits = [waited for _, waited in sends]
    halves = {"discovering": [w for at, w in sends if at < first_half * 1000.0],
              "pruning": [w for at, w in sends if at >= first_half * 1000.0]}
    vanished = len(vanishing) * PER_PROCESS
    print(f"main thread away from sent messages, {args.windows} windows, {args.taps} Alt+Tab taps, then "
          f"{vanished} windows gone at once and {args.taps} taps more ({len(waits)} probe sends):")
    for name, values in halves.items():
        if values:
            top = ", ".join(f"{v:.1f}" for v in sorted(values)[-5:])
            print(f"  {name:12} longest {max(values):8.1f} ms, median {statistics.median(values):5.2f} ms; "
                  f"longest five {top} ms")
    print(f"  whole run    longest {max(waits):8.1f} ms")
    if os.environ.get("PLR_STALL_PHASES"):
        # Where the longest waits fell among the steps of the switches (the
        # two time lines start a few milliseconds apart).
        for at, waited in sorted(sends, key=lambda s: s[1])[-5:]:
            around = [f"{name}@{t:.0f}" for name, t in phases if at - 50 <= t <= at + waited + 50]
            print(f"  wait of {waited:.1f} ms from {at:.0f} ms: {' '.join(around)}")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"windows": args.windows, "vanished": vanished,
                       "longest_ms": {name: max(v) if v else None for name, v in halves.items()},
                       "longest_overall_ms": max(waits)}, f)
    return 0


if __name__ == "__main__":
    sys.exit(main())

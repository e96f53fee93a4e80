"""Random use of the real program over a crowd of awkward applications.

Thousands of seeded random actions: Alt held and released (left and right),
every hotkey, clicks, double clicks, right clicks and short drags on the
switcher's items, now and then Alt+Delete on a group that holds only our own
fixtures.  The fixtures include hung ones, ones that refuse or question their
close request and ones whose windows vanish; those that go away are replaced.

Throughout: the program keeps running, and a monitor (plr_treereader
--monitor) sends it a bounded WM_NULL every 100 ms, which must never wait
longer than 3 s.  At the end it still switches, and its log reports no broken
model.  The figures are printed.

    (default)              a 500-action slice, about 1 to 2 minutes
    PLR_STRESS_LONG=1      the long run: 2000 actions, 4 to 8 minutes depending
                           on the machine's load (too long for every CI run)
    PLR_STRESS_ACTIONS=N   any other number of actions
    PLR_STRESS_SEED=S      repeat a run (the seed is printed)
"""

import json
import os
import random
import subprocess
import sys
import threading
import time
import unittest

from harness import PELORINE_KEY, wait_until, wine_program
from test_switch import ARROW, STAR, SwitchTestCase, center, marked, texts

MAX_PROBE_MS = 3000
PROBE_TIMEOUT_MS = 10000
PROBE_INTERVAL_MS = 100

# Log lines that can only come from a broken model (exactly one selected
# group, a selected window always in some group, every item backed by a
# record) or from a switch that could not be handled.  Lines of legitimate
# states stay out: no window selected after an empty group took the star
# ("could not find previously selected window"), a foreground window without
# a record for Alt+Ctrl+Insert ("Could not find selected window's group.
# Aborting creation..."), records without items before the dialog exists
# ("hti was NULL"), a command while a deletion waits.
BROKEN_MODEL_LOG = (
    "could not find selected group",
    "could not find selected window's group",  # lower case: not the creation's own line
    "Could not find selected window.  Aborting",
    "Could not find selected window in its group",
    "Could not find parent group",
    "Could not find current group in its parent",
    "Could not find active window in its group",
    "could not find selected window while processing",
    "could not find selected window or group",
    "could not find expanded or collapsed group",
    "itemDropped: could not find",
    "failed to remove inactive window",
    "index and tree disagree",
    "hti wasn't NULL but g_hwndSwitcherDialog was",
    "invalid action",
    "out of memory",
    "wcscpy_s failed",
    "the switcher thread did not end",
    "the previous switcher thread is still running",
)

KINDS = (["plain"] * 10 + ["hang"] * 2 + ["refuse"] * 2 + ["question"] * 2 + ["vanish"] * 4)


def action_count():
    if os.environ.get("PLR_STRESS_ACTIONS"):
        return int(os.environ["PLR_STRESS_ACTIONS"])
    return 2000 if os.environ.get("PLR_STRESS_LONG") == "1" else 500


class ProbeMonitor:
    """plr_treereader --monitor in the background: one line per WM_NULL probe."""

    def __init__(self, session, hwnd, seconds):
        self.samples = []
        self.failures = []
        self.gone = False
        self.popen = subprocess.Popen(
            [wine_program("wine"), session.tool("plr_treereader.exe"), "--monitor", str(hwnd), str(PROBE_TIMEOUT_MS),
             str(PROBE_INTERVAL_MS), str(int(seconds))],
            env=session.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        for raw in self.popen.stdout:
            try:
                data = json.loads(raw)
            except ValueError:
                continue
            self.samples.append(data["ms"])
            if data["gone"]:
                self.gone = True
            elif not data["ok"]:
                self.failures.append(data)

    def max_ms(self):
        return max(self.samples, default=0)

    def stop(self):
        if self.popen.poll() is None:
            self.popen.kill()
        try:
            self.popen.wait(10)
        except subprocess.TimeoutExpired:
            pass
        self.thread.join(10)


class Fixture:
    def __init__(self, kind, proc, caption):
        self.kind, self.proc, self.caption = kind, proc, caption

    def gone(self):
        """The window is gone (or going) even if the process stays."""
        if not self.proc.alive():
            return True
        names = {e["event"] for e in self.proc.events()}
        return bool(names & {"VANISH", "WM_DESTROY"})

    def live_window(self):
        names = {e["event"] for e in self.proc.events()}
        return self.proc.alive() and "CREATE" in names and not names & {"VANISH", "WM_DESTROY"}

    def hung(self):
        return bool(self.proc.events("HANG"))


class StressTest(SwitchTestCase):
    e2e_timeout = 900

    def spawn(self, kind):
        self.serial += 1
        caption = f"S{self.serial:03d} {kind}"
        options = {}
        if kind == "hang":
            options["hang_after"] = self.rng.randint(5000, 60000)
        elif kind == "vanish":
            options["vanish_after"] = self.rng.randint(3000, 40000)
        elif kind in ("refuse", "question"):
            options["close"] = kind
        pos = (self.rng.randint(0, 900), self.rng.randint(0, 520))
        proc = self.s.start_fixture(caption=caption, log=True, pos=pos, size="300,220", **options)
        fixture = Fixture(kind, proc, caption)
        self.fixtures_now.append(fixture)
        return fixture

    def replace_gone(self):
        for fixture in list(self.fixtures_now):
            if fixture.gone():
                self.fixtures_now.remove(fixture)
                self.s.end(fixture.proc)  # a vanished fixture's process stays otherwise
                self.respawned += 1
                self.spawn(fixture.kind)

    def ours(self, caption):
        return any(caption == f.caption for f in self.all_fixtures())

    def all_fixtures(self):
        return self.fixtures_now

    def open_tree(self):
        tree = self.s.tree()
        if tree.get("dialog") and tree["dialog"]["visible"] and tree["items"]:
            return tree
        return None

    def deletable_star_group(self, tree):
        """The selected group when it is not the root and everything under it
        is one of our fixtures (or nothing at all)."""
        items = tree["items"]
        stars = [i for i, it in enumerate(items) if it["state_image"] == STAR]
        if len(stars) != 1 or stars[0] == 0:
            return False
        start = stars[0]
        depth = items[start]["depth"]
        for it in items[start + 1:]:
            if it["depth"] <= depth:
                break
            if it["text"].startswith("Group "):
                continue
            if not self.ours(it["text"]):
                return False
        return True

    def visible_items(self, tree):
        # Inside the dialog, and on the screen above the taskbar: a press on
        # the dialog's margin may have moved it partly off the screen.
        left, top, right, bottom = tree["dialog"]["rect"]
        left, top = max(left, 0), max(top, 0)
        right, bottom = min(right, self.s.width), min(bottom, self.s.height - 24)
        return [it for it in tree["items"] if it["rect"]  # none inside a collapsed group
                and left < center(it["rect"])[0] < right and top < center(it["rect"])[1] < bottom]

    def check_alive(self, pelorine, step, action):
        if not pelorine.alive():
            self.crashes += 1
            self.fail(f"pelorine ended with {pelorine.returncode} at action {step} ({action}); seed {self.seed}")

    def test_random_actions_over_awkward_applications(self):
        self.seed = int(os.environ.get("PLR_STRESS_SEED") or random.SystemRandom().randrange(1 << 30))
        count = action_count()
        print(f"\nstress: seed {self.seed}, {count} actions", file=sys.stderr, flush=True)
        self.rng = random.Random(self.seed)
        self.serial = 0
        self.fixtures_now = []
        self.respawned = 0
        self.crashes = 0
        switches = 0
        deletions = 0
        mouse = 0
        counts = {}

        # Half of the runs terminate the applications that do not close.
        terminate = self.rng.random() < 0.5
        if terminate:
            self.s.reg_add(PELORINE_KEY, "CallTerminateProcess", "REG_DWORD", 1)
        print(f"stress: CallTerminateProcess {int(terminate)}", file=sys.stderr, flush=True)
        pelorine, main = self.start()
        for kind in KINDS:
            self.spawn(kind)
        for fixture in self.fixtures_now:
            fixture.proc.wait_hwnds(timeout=30)
        monitor = ProbeMonitor(self.s, main["hwnd"], 3600)
        self.addCleanup(monitor.stop)

        held = None          # the Alt key held now
        hotkeys_in_hold = 0
        t0 = time.monotonic()
        for step in range(count):
            if step % 10 == 0:
                self.replace_gone()
            r = self.rng.random()
            if held is None:
                if r < 0.15:
                    # A whole switch in one go: Alt is up again before the
                    # dialog can exist.
                    alt = "alt" if self.rng.random() < 0.75 else "Alt_R"
                    keys = self.rng.choices(["Tab", "Tab", "Up", "Insert", "ctrl+Insert", "shift+Tab"],
                                            k=self.rng.randint(1, 3))
                    args = ["keydown", alt]
                    for key in keys:
                        args += ["key", "--delay", "0", key]
                    self.s.xdotool(*args, "keyup", alt)
                    action = "flick"
                    switches += 1
                elif r < 0.85:
                    held = "alt" if self.rng.random() < 0.75 else "Alt_R"
                    self.hold(held)
                    action = "alt down"
                    hotkeys_in_hold = 0
                else:
                    action = self.rng.choice(["Tab", "Up", "Down", "Escape"])
                    self.s.key_tap(action)
                    action = "bare " + action
            else:
                action = self.rng.choices(
                    ["Tab", "shift+Tab", "Up", "Down", "Insert", "ctrl+Insert", "Escape", "Delete", "alt up",
                     "click", "double", "right", "drag", "burst"],
                    [30, 8, 6, 6, 3, 3, 3, 3, 14, 5, 3, 4, 4, 4])[0]
                if action == "burst":
                    # Keys faster than the program handles them.
                    keys = self.rng.choices(["Tab", "shift+Tab", "Up", "Down", "Insert", "ctrl+Insert", "Escape"],
                                            k=self.rng.randint(3, 8))
                    self.s.key_tap(*keys, delay_ms=0)
                    hotkeys_in_hold += 1
                elif action == "alt up":
                    self.release(held)
                    held = None
                    if hotkeys_in_hold:
                        switches += 1
                elif action == "Delete":
                    tree = self.open_tree()
                    if tree and self.deletable_star_group(tree):
                        self.s.key_tap("Delete")
                        deletions += 1
                        hotkeys_in_hold += 1
                    else:
                        action = "Up (for Delete)"
                        self.s.key_tap("Up")
                        hotkeys_in_hold += 1
                elif action in ("click", "double", "right", "drag"):
                    tree = self.open_tree()
                    items = self.visible_items(tree) if tree else []
                    if not items:
                        action = "Tab (no tree for the mouse)"
                        self.s.key_tap("Tab")
                        hotkeys_in_hold += 1
                    else:
                        mouse += 1
                        target = self.rng.choice(items)
                        x, y = center(target["rect"])
                        if action == "click":
                            self.s.click(x, y)
                        elif action == "double":
                            self.s.double_click(x, y)
                        elif action == "right":
                            self.s.right_click(x, y)
                        else:
                            windows = [it for it in items if it["depth"] > 0 and not it["text"].startswith("Group ")]
                            groups = [it for it in items if it["depth"] == 0 or it["text"].startswith("Group ")]
                            source = self.rng.choice(windows or items)
                            goal = self.rng.choice(groups or items)
                            x, y = center(source["rect"])
                            x2, y2 = center(goal["rect"])
                            self.s.drag(x, y, x2, y2, steps=4, step_delay=0.02)
                else:
                    self.s.key_tap(action)
                    hotkeys_in_hold += 1
            counts[action] = counts.get(action, 0) + 1
            self.check_alive(pelorine, step, action)
            if monitor.max_ms() > MAX_PROBE_MS:
                self.fail(f"pelorine did not answer for {monitor.max_ms()} ms (action {step}, {action}); "
                          f"seed {self.seed}")
        if held is not None:
            self.release(held)
            switches += 1 if hotkeys_in_hold else 0
        duration = time.monotonic() - t0

        # Still switching: every live fixture is listed, and the one chosen
        # with the mouse comes to the front when Alt is released.
        # Nothing may appear or vanish any more while the last switch opens:
        # a window that shows up takes the focus from the switcher, which
        # ends the switch.
        for fixture in [f for f in self.fixtures_now if f.kind == "vanish"]:
            self.s.end(fixture.proc)
            self.fixtures_now.remove(fixture)
        self.replace_gone()
        for fixture in self.fixtures_now:
            wait_until(lambda f=fixture: f.proc.events("READY") or not f.proc.alive(), 30,
                       message=f"{fixture.caption} ready")
        time.sleep(1.0)
        self.s.park_pointer()  # not over a hung fixture, which would swallow the keys
        self.hold()
        self.s.key_tap("Tab")
        try:
            tree = self.tree_where(lambda t: t["items"][0]["text"] == "Root Group" and marked(t, STAR) is not None,
                                   "the switcher after the run", 20)
        except AssertionError as e:
            raise AssertionError(f"{e}; seed {self.seed}; the tree now: {self.s.tree()}; log tail: "
                                 f"{self.log_lines()[-15:]}") from e
        if marked(tree, ARROW) is None:
            # The star sits on a group without windows and the window in front
            # has no record, so no window is selected, and a click on a window
            # item then selects nothing.  Alt+Up walks the groups until one
            # with windows selects its first; the root is reached at the latest.
            groups = len([it for it in tree["items"] if it["depth"] == 0 or it["text"].startswith("Group ")])
            for _ in range(groups + 1):
                before = marked(tree, STAR)
                tree = self.press("Up", pred=lambda t, b=before: marked(t, STAR) != b or marked(t, ARROW),
                                  message="the star to move")
                if marked(tree, ARROW) is not None:
                    break
            self.assertIsNotNone(marked(tree, ARROW), f"Alt+Up never selected a window: {texts(tree)}")
        live = [f for f in self.fixtures_now if f.live_window()]
        missing = [f.caption for f in live if f.caption not in texts(tree)]
        self.assertEqual([], missing, f"live fixtures missing from {texts(tree)}")
        chosen = [f for f in live if f.kind in ("plain", "refuse", "question") and not f.hung()
                  and f.caption in [it["text"] for it in self.visible_items(tree)]]
        self.assertTrue(chosen, "a plain fixture to choose is visible in the switcher")
        target = self.rng.choice(chosen).caption
        item = [it for it in tree["items"] if it["text"] == target][0]
        self.s.click(*center(item["rect"]))
        self.s.right_click(*center(item["rect"]))
        try:
            self.tree_where(lambda t: marked(t, ARROW) == target, f"the arrow on {target}")
        except AssertionError as e:
            raise AssertionError(f"{e}; seed {self.seed}; the tree before the clicks: {tree}; the tree now: "
                                 f"{self.s.tree()}; log tail: {self.log_lines()[-15:]}") from e
        self.end_with_alt()
        wait_until(lambda: self.foreground() == target, 10, message=f"{target} in the foreground")
        self.check_alive(pelorine, count, "final switch")

        time.sleep(0.5)
        monitor.stop()
        broken = [line for line in self.log_lines() if any(s in line for s in BROKEN_MODEL_LOG)]
        print(f"stress: seed {self.seed}: {count} actions in {duration:.0f} s "
              f"({1000 * duration / max(count, 1):.0f} ms each), max probe wait {monitor.max_ms()} ms over "
              f"{len(monitor.samples)} probes, {switches} switches, {deletions} group deletions, "
              f"{mouse} mouse actions, {self.respawned} fixtures replaced, crashes {self.crashes}",
              file=sys.stderr, flush=True)
        print("stress: actions " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())),
              file=sys.stderr, flush=True)
        self.assertEqual([], monitor.failures, "probes that failed")
        self.assertFalse(monitor.gone, "the main window went away")
        self.assertGreater(len(monitor.samples), duration * 1000 / (PROBE_INTERVAL_MS + PROBE_TIMEOUT_MS),
                           "the monitor kept probing")
        self.assertLessEqual(monitor.max_ms(), MAX_PROBE_MS)
        self.assertEqual([], broken, "log lines that report a broken model")


if __name__ == "__main__":
    unittest.main()

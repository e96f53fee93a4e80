"""Switching windows end to end: the switcher dialog on Alt+Tab, the keys
while Alt is held, the mouse in the tree, the three endings of a switch,
activation of the chosen window, the tray menu, a second copy, and Exit.

Every test holds Alt with xdotool exactly as a user would and reads the
dialog's tree with plr_treereader.  Alt is released again in tearDown."""

import os
import unittest

from harness import (E2ETestCase, MAIN_CLASS, TRAY_ICON_ID, WM_CLOSE, WM_RBUTTONUP, WM_TRAYICON,
                     wait_until)

ARROW = 1  # state image of the selected window
STAR = 2   # state image of the selected group
ALT_TAB_TAKEN = ("RegisterHotKey() for Alt+Tab failed.  There is probably another application "
                 "using that key combination already running.  Aborting.")
SUSPICIOUS_LOG = ("MainWndProc:", "DialogProc2:", "hti was NULL", "TaskSwitchThread", "CreateThread")


def center(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


def texts(tree):
    return [i["text"] for i in tree["items"]]


def marked(tree, image):
    found = [i["text"] for i in tree["items"] if i["state_image"] == image]
    return found[0] if len(found) == 1 else (None if not found else tuple(found))


def item(tree, text):
    found = [i for i in tree["items"] if i["text"] == text]
    assert len(found) == 1, f"one item {text!r} expected in {texts(tree)}"
    return found[0]


class SwitchTestCase(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.held = []
        self.placed = 0

    def tearDown(self):
        # Never leave a key down for the next test; processes stay for the
        # runner's screenshot.
        for key in reversed(self.held):
            try:
                self.s.key_up(key)
            except Exception:  # noqa: BLE001 - best effort
                pass
        super().tearDown()

    # ----- set-up -----
    def fixtures(self, *captions, **options):
        """One fixture per caption, one after the other (the last one made is
        in front and on top), side by side so that each can be clicked."""
        procs = []
        for caption in captions:
            column, row = self.placed % 3, self.placed // 3
            self.placed += 1
            proc = self.s.start_fixture(caption=caption, log=True, pos=(20 + 420 * column, 20 + 330 * row),
                                        size="380,280", **options)
            proc.wait_hwnds(timeout=15)
            procs.append(proc)
        return procs

    def start(self, log=True):
        if log:
            self.set_log()
        proc = self.start_pelorine()
        main = self.wait_main_window(proc)
        return proc, main

    def window(self, caption):
        found = [w for w in self.s.windows() if w["caption"] == caption]
        self.assertEqual(1, len(found), f"one window {caption!r}")
        return found[0]

    def z_order(self):
        """Captions of the visible top-level windows, top first."""
        return [w["caption"] for w in self.s.windows() if w["visible"]]

    def foreground(self):
        found = [w["caption"] for w in self.s.windows() if w["foreground"]]
        return found[0] if found else None

    def activate(self, caption):
        """Brings a fixture to the front by clicking into it.  (Wine activates
        the top window when the switcher hides, and a click on the title bar
        activates a window without always raising it.)"""
        rect = self.window(caption)["rect"]
        self.s.click((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)
        wait_until(lambda: self.foreground() == caption, 10, message=f"{caption} in the foreground")

    # ----- the switch -----
    def hold(self, key="alt"):
        self.s.key_down(key)
        self.held.append(key)

    def release(self, key="alt"):
        self.s.key_up(key)
        self.held.remove(key)

    def tree_where(self, pred, message, timeout=10):
        return self.s.wait_for_tree(lambda t: t["dialog"]["visible"] and t["items"] and pred(t), timeout=timeout)

    def open_switch(self, alt="alt"):
        self.hold(alt)
        self.s.key_tap("Tab")
        return self.tree_where(lambda t: marked(t, STAR) is not None, "the switcher with its star", 15)

    def press(self, *keys, pred, message):
        """Taps keys while Alt is held and waits for the tree to show pred."""
        self.s.key_tap(*keys)
        return self.tree_where(pred, message)

    def tab_to(self, caption, limit=12):
        tree = self.s.tree()
        for _ in range(limit):
            if marked(tree, ARROW) == caption:
                return tree
            before = marked(tree, ARROW)
            tree = self.press("Tab", pred=lambda t, b=before: marked(t, ARROW) != b, message="the arrow to move")
        self.fail(f"the arrow never reached {caption!r}: {texts(tree)}")

    def wait_no_dialog(self, timeout=10):
        wait_until(lambda: self.s.tree()["dialog"] is None, timeout, message="the switcher to close")

    def end_with_alt(self, key="alt"):
        self.release(key)
        self.wait_no_dialog()

    def click_item(self, tree, text, button="left"):
        x, y = center(item(tree, text)["rect"])
        if button == "left":
            self.s.click(x, y)
        elif button == "right":
            self.s.right_click(x, y)
        else:
            self.s.double_click(x, y)

    @staticmethod
    def activations(fixture):
        return len([e for e in fixture.events("WM_ACTIVATE") if e["args"] == ["WA_ACTIVE"]])

    def log_lines(self):
        data = self.read_log() or b""
        return data.decode("utf-8", "replace").splitlines()

    def assert_clean_log(self):
        bad = [line for line in self.log_lines() if any(s in line for s in SUSPICIOUS_LOG)]
        self.assertEqual([], bad, "unexpected log lines")


class AltTabTest(SwitchTestCase):
    def test_alt_tab_shows_the_tree_and_releasing_alt_activates_the_arrow(self):
        alpha, beta, gamma = self.fixtures("Alpha", "Beta", "Gamma")
        self.start()
        self.activate("Beta")
        tree = self.open_switch()
        self.assertEqual("Root Group", tree["items"][0]["text"])
        self.assertEqual(0, tree["items"][0]["depth"])
        self.assertEqual("Root Group", marked(tree, STAR))
        # The window in front when the switch opened comes first; Alt+Tab
        # has moved the arrow to the next one.
        self.assertEqual("Beta", tree["items"][1]["text"])
        self.assertEqual(tree["items"][2]["text"], marked(tree, ARROW))
        self.assertTrue({"Alpha", "Beta", "Gamma"} <= set(texts(tree)))
        self.assertTrue(tree["dialog"]["topmost"])
        self.assertEqual(tree["btnface_color"], tree["bk_color"], "the tree takes the dialog's colour")
        chosen = marked(tree, ARROW)
        self.end_with_alt()
        wait_until(lambda: self.foreground() == chosen, 10, message=f"{chosen} in the foreground")
        self.assert_clean_log()

        # The next switch starts from the window now in front.
        tree = self.open_switch()
        self.assertEqual(chosen, tree["items"][1]["text"])
        self.end_with_alt()

    def test_tab_three_times_shift_tab_and_the_right_alt_key(self):
        self.fixtures("Alpha", "Beta", "Gamma")
        self.start()
        self.activate("Alpha")
        tree = self.open_switch(alt="Alt_R")
        order = [t for t in texts(tree)[1:] if t]
        self.assertEqual("Alpha", order[0])
        arrows = [marked(tree, ARROW)]
        for _ in range(2):
            tree = self.press("Tab", pred=lambda t, b=arrows[-1]: marked(t, ARROW) != b, message="Tab")
            arrows.append(marked(tree, ARROW))
        windows = texts(tree)[1:]
        # Three Tabs in all from Alpha: each moves one down in tree order.
        self.assertEqual(windows[1:4], arrows)
        tree = self.press("shift+Tab", pred=lambda t: marked(t, ARROW) == arrows[1], message="Shift+Tab")
        self.end_with_alt("Alt_R")
        wait_until(lambda: self.foreground() == arrows[1], 10, message="the right Alt's choice in front")
        self.assert_clean_log()

    def test_of_two_windows_with_one_caption_the_one_in_front_is_left(self):
        # Both say "Untitled - Notepad".  After the first switch the second
        # one is in front but the first one comes first in the tree: the next
        # switch must still start from the one in front and leave it.
        self.start()
        self.fixtures("Untitled - Notepad", "Untitled - Notepad")
        for _ in range(3):
            before = [w["hwnd"] for w in self.s.windows() if w["foreground"]]
            self.open_switch()
            self.end_with_alt()
            wait_until(lambda b=before: [w["hwnd"] for w in self.s.windows() if w["foreground"]] not in ([], b), 10,
                       message="the other Untitled window in front")
        self.assert_clean_log()

    def test_alt_key_up_without_a_switch_is_passed_on(self):
        (alpha,) = self.fixtures("Alpha")
        self.start()
        self.activate("Alpha")
        self.s.key_tap("alt")
        wait_until(lambda: [e for e in alpha.events() if e["event"] in ("WM_KEYUP", "WM_SYSKEYUP")
                            and "vk=18" in e["args"]], 10, message="the Alt release at the fixture")
        self.assertIsNone(self.s.tree()["dialog"])


class GroupKeysTest(SwitchTestCase):
    def test_insert_up_down_and_ctrl_insert(self):
        self.fixtures("Alpha", "Beta")
        self.start()
        self.activate("Alpha")
        tree = self.open_switch()
        first_arrow = marked(tree, ARROW)
        tree = self.press("Insert", pred=lambda t: "Group 1" in texts(t), message="Group 1")
        self.assertEqual(1, item(tree, "Group 1")["depth"])
        self.assertEqual("Group 1", texts(tree)[-1], "a new group comes after the windows")
        self.assertEqual(("Root Group", first_arrow), (marked(tree, STAR), marked(tree, ARROW)))

        # Post-order: Group 1, then the root.  An empty group leaves no arrow.
        tree = self.press("Up", pred=lambda t: marked(t, STAR) == "Group 1", message="Alt+Up")
        self.assertIsNone(marked(tree, ARROW))
        tree = self.press("Up", pred=lambda t: marked(t, STAR) == "Root Group", message="Alt+Up")
        self.assertEqual("Alpha", marked(tree, ARROW), "the first window of the tree")
        tree = self.press("Down", pred=lambda t: marked(t, STAR) == "Group 1", message="Alt+Down")
        tree = self.press("Down", pred=lambda t: marked(t, STAR) == "Root Group", message="Alt+Down")
        tree = self.press("Tab", pred=lambda t: marked(t, ARROW) == "Beta", message="Tab to Beta")

        tree = self.press("ctrl+Insert", pred=lambda t: marked(t, STAR) == "Group 2", message="Group 2")
        self.assertEqual("Beta", marked(tree, ARROW))
        g2 = texts(tree).index("Group 2")
        self.assertEqual("Beta", texts(tree)[g2 + 1])
        self.assertEqual(2, tree["items"][g2 + 1]["depth"])
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Beta", 10, message="Beta in front")

        # The groups outlive the switch; Beta's group stays selected.
        tree = self.open_switch()
        self.assertTrue({"Group 1", "Group 2"} <= set(texts(tree)))
        self.assertEqual("Group 2", marked(tree, STAR))
        self.end_with_alt()
        self.assert_clean_log()


class CancelTest(SwitchTestCase):
    def test_alt_esc_restores_the_tree_and_activates_nothing(self):
        # Alpha, made last, is in front and on top, where Wine puts the
        # foreground back when the switcher hides without activating.
        self.start()
        beta, alpha = self.fixtures("Beta", "Alpha")
        wait_until(lambda: self.foreground() == "Alpha", 10, message="Alpha in front")
        tree = self.open_switch()
        before = texts(tree)
        tree = self.tab_to("Beta")
        self.press("Insert", pred=lambda t: "Group 1" in texts(t), message="Group 1")
        activations = self.activations(beta)
        self.s.key_tap("Escape")
        self.wait_no_dialog()
        self.release()
        self.assertEqual(activations, self.activations(beta), "Beta was not activated")
        self.assertNotEqual("Beta", self.foreground())

        # The tree is as it was at the opening, and Group 1 is free again.
        tree = self.open_switch()
        self.assertEqual(before, texts(tree))
        tree = self.press("Insert", pred=lambda t: "Group 1" in texts(t), message="Group 1 again")
        self.assertNotIn("Group 2", texts(tree))
        self.end_with_alt()
        self.assert_clean_log()


class MouseTest(SwitchTestCase):
    def test_clicks_move_the_markers(self):
        self.fixtures("Alpha", "Beta", "Gamma")
        self.start()
        self.activate("Alpha")
        self.open_switch()
        tree = self.tab_to("Beta")
        tree = self.press("ctrl+Insert", pred=lambda t: marked(t, STAR) == "Group 1", message="Group 1")

        # A single click moves only the tree's caret.
        self.click_item(tree, "Gamma")
        tree = self.tree_where(lambda t: item(t, "Gamma")["caret"], "the caret on Gamma")
        self.assertEqual(("Group 1", "Beta"), (marked(tree, STAR), marked(tree, ARROW)))

        # Right click (Wine reports it on the caret): a window outside the
        # selected group takes the arrow, its own group the star.
        self.click_item(tree, "Gamma", "right")
        tree = self.tree_where(lambda t: marked(t, ARROW) == "Gamma", "the arrow on Gamma")
        self.assertEqual("Root Group", marked(tree, STAR))

        # Double click on a window inside the selected group's subtree.
        self.click_item(tree, "Beta", "double")
        tree = self.tree_where(lambda t: marked(t, ARROW) == "Beta", "the arrow on Beta")
        self.assertEqual("Root Group", marked(tree, STAR))

        # Right click on a group that holds the selected window: only the star.
        self.click_item(tree, "Group 1")
        self.click_item(tree, "Group 1", "right")
        tree = self.tree_where(lambda t: marked(t, STAR) == "Group 1", "the star on Group 1")
        self.assertEqual("Beta", marked(tree, ARROW))

        # Right click on the root, which holds Beta too: the arrow stays.
        self.click_item(tree, "Root Group")
        self.click_item(tree, "Root Group", "right")
        tree = self.tree_where(lambda t: marked(t, STAR) == "Root Group", "the star on the root")
        self.assertEqual("Beta", marked(tree, ARROW))

        # Double click on a group toggles it; the markers stay.
        self.click_item(tree, "Group 1", "double")
        tree = self.tree_where(lambda t: not item(t, "Group 1")["expanded"], "Group 1 collapsed")
        self.assertEqual(("Root Group", "Beta"), (marked(tree, STAR), marked(tree, ARROW)))
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Beta", 10, message="Beta in front")

        # The collapse was recorded in the model: the next tree shows it.
        tree = self.open_switch()
        self.assertFalse(item(tree, "Group 1")["expanded"])
        self.end_with_alt()
        self.assert_clean_log()

    def test_right_click_on_an_empty_group_leaves_no_window_selected(self):
        self.start()
        beta, alpha = self.fixtures("Beta", "Alpha")
        wait_until(lambda: self.foreground() == "Alpha", 10, message="Alpha in front")
        tree = self.open_switch()
        tree = self.press("Insert", pred=lambda t: "Group 1" in texts(t), message="Group 1")
        self.click_item(tree, "Group 1")
        self.click_item(tree, "Group 1", "right")
        tree = self.tree_where(lambda t: marked(t, STAR) == "Group 1", "the star on Group 1")
        self.assertIsNone(marked(tree, ARROW))
        activations = self.activations(beta)
        self.end_with_alt()
        self.assertEqual(activations, self.activations(beta), "nothing was activated")

        # With no window selected (the star on the empty group), a double
        # click on a window selects it, and its group takes the star.
        self.open_switch()
        tree = self.press("Up", pred=lambda t: marked(t, STAR) == "Group 1", message="the star on Group 1")
        self.assertIsNone(marked(tree, ARROW))
        self.click_item(tree, "Beta", "double")
        tree = self.tree_where(lambda t: marked(t, ARROW) == "Beta", "the arrow on Beta")
        self.assertEqual("Root Group", marked(tree, STAR))
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Beta", 10, message="Beta in front")
        self.assert_clean_log()


class FocusLossTest(SwitchTestCase):
    def test_clicking_another_window_ends_the_switch_without_activation(self):
        alpha, beta = self.fixtures("Alpha", "Beta")
        self.fixtures("Bystander")
        self.start()
        self.activate("Alpha")
        self.open_switch()
        tree = self.tab_to("Beta")
        self.press("Insert", pred=lambda t: "Group 1" in texts(t), message="Group 1")
        activations = self.activations(beta)
        rect = self.window("Bystander")["rect"]
        self.s.click((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)
        self.wait_no_dialog()
        self.release()
        wait_until(lambda: self.foreground() == "Bystander", 10, message="the clicked window in front")
        self.assertEqual(activations, self.activations(beta), "Beta was not activated")

        # The changes of the switch stay, and the next switch works.
        tree = self.open_switch()
        self.assertIn("Group 1", texts(tree))
        self.end_with_alt()
        self.assert_clean_log()


class ActivationTest(SwitchTestCase):
    def test_a_minimised_window_is_restored(self):
        self.fixtures("Alpha")
        (mini,) = self.fixtures("Mini", minimized=True)
        self.start()
        self.activate("Alpha")
        self.open_switch()
        self.tab_to("Mini")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Mini" and not self.window("Mini")["iconic"], 10,
                   message="Mini restored and in front")
        wait_until(lambda: [e for e in mini.events("WM_SYSCOMMAND") if e["args"] == ["SC_RESTORE"]], 10,
                   message="SC_RESTORE at Mini")

    def test_a_hung_window_is_not_activated_and_the_next_switch_opens(self):
        proc, _ = self.start()
        (hung,) = self.fixtures("Hung", hang_after=4000)
        # Alpha, made last, is in front and on top: Wine gives the foreground
        # to the top window when the switcher hides.
        self.fixtures("Alpha")
        wait_until(lambda: self.foreground() == "Alpha", 10, message="Alpha in front")
        self.assertLess(self.z_order().index("Alpha"), self.z_order().index("Hung"))
        wait_until(lambda: hung.events("HANG"), 10, message="the fixture to hang")
        self.open_switch()
        self.tab_to("Hung")
        self.end_with_alt()
        self.assert_stays_running(proc, 1.5)
        self.assertNotEqual("Hung", self.foreground())
        self.assertLess(self.z_order().index("Alpha"), self.z_order().index("Hung"), "Hung was not raised")

        try:
            tree = self.open_switch()
        except AssertionError as e:
            raise AssertionError(f"{e}; foreground {self.foreground()!r}; z-order {self.z_order()}; "
                                 f"log: {(self.read_log() or b'').decode('utf-8', 'replace')!r}") from e
        self.assertIn("Hung", texts(tree))
        self.tab_to("Alpha")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Alpha", 10, message="Alpha in front")

    def test_a_window_closed_meanwhile_is_ignored(self):
        self.fixtures("Alpha")
        (doomed,) = self.fixtures("Doomed")
        proc, _ = self.start()
        self.activate("Alpha")
        self.open_switch()
        self.tab_to("Doomed")
        self.s.post(doomed.hwnds()[0], WM_CLOSE)
        self.assertEqual(0, doomed.wait(10))
        self.end_with_alt()
        self.assert_stays_running(proc, 1.0)

        tree = self.open_switch()
        self.assertNotIn("Doomed", texts(tree))
        self.end_with_alt()


class QuickTapTest(SwitchTestCase):
    """Alt+Tab tapped as people flick between two windows: Alt goes up a
    tenth of a second after it went down, or a few milliseconds after Tab
    (xdotool's own pace).  Each tap brings the window that was active before
    forward, the next tap the other one back, and no switcher stays on the
    screen."""

    TAPS = int(os.environ.get("PLR_TAPS", "60"))  # per pace

    def tap_between_two_windows(self, windows):
        self.start()
        per_process = max(1, windows // 2)
        for name in ("Left", "Right"):
            proc = self.s.start_fixture(caption=name + " %d", windows=per_process, quiet_icons=True, log=True,
                                        pos=(40, 40), size="600,400")
            wait_until(lambda p=proc: p.events("READY"), 60, message=f"the {name} windows")
        # The windows are shown one after the other: wait until the one in
        # front stays there.
        seen = []

        def settled():
            seen.append(self.foreground())
            return seen[-1] is not None and seen[-3:] == [seen[-1]] * 3 and seen[-1]
        first = wait_until(settled, 30, 0.3, "the same window in front for a while")
        paces = {
            "xdotool": ["key", "alt+Tab"],
            "human": ["keydown", "alt", "sleep", "0.05", "key", "Tab", "sleep", "0.09", "keyup", "alt"],
        }
        other = None
        for pace, keys in paces.items():
            for tap in range(self.TAPS):
                before = self.foreground()
                self.s.xdotool(*keys)
                if other is None:
                    other = wait_until(lambda: self.foreground() not in (None, first) and self.foreground(), 10,
                                       message="the first tap to bring another window forward")
                    continue
                expected = other if before == first else first
                self.assertIn(before, (first, other))
                try:
                    wait_until(lambda e=expected: self.foreground() == e, 10,
                               message=f"{pace} tap {tap}: {expected} in front after {before}")
                except AssertionError as e:
                    tree = self.s.tree()
                    shown = "no switcher" if tree["dialog"] is None else (
                        f"a switcher {'shown' if tree['dialog']['visible'] else 'hidden'}, arrow on "
                        f"{marked(tree, ARROW)!r}, star on {marked(tree, STAR)!r}")
                    raise AssertionError(f"{e}; {self.foreground()!r} in front, {shown}; log: "
                                         f"{self.log_lines()[-5:]}") from e
            self.assertIsNone(self.s.tree()["dialog"], f"a switcher left on the screen after the {pace} taps")
        self.assertIsNone(self.s.tree()["dialog"])
        self.assert_clean_log()

    def test_quick_taps_toggle_between_two_of_20_windows(self):
        self.tap_between_two_windows(20)

    def test_quick_taps_toggle_between_two_of_100_windows(self):
        self.tap_between_two_windows(100)


class LongFirstCommandTest(SwitchTestCase):
    def test_switch_whose_first_key_deletes_a_slow_group(self):
        # Group 1 holds "Slow", whose close request asks "Close this window?"
        # and keeps the deletion waiting for two seconds.  Alt+Delete as the
        # first key of a switch: the dialog shows meanwhile, still empty.
        # The question and a click on another window take the focus from
        # it; that ends the switch as soon as the deletion is over, although
        # Alt is still held, and nothing is brought forward by the switcher.
        self.start()
        self.fixtures("Quick")
        (slow,) = self.fixtures("Slow", close="question")
        self.open_switch()
        self.tab_to("Slow")
        self.press("ctrl+Insert", pred=lambda t: marked(t, STAR) == "Group 1", message="Group 1")
        self.end_with_alt()

        self.hold()
        self.s.key_tap("Delete")
        wait_until(lambda: slow.events("CLOSE_QUESTION"), 15, message="the slow close request")
        self.s.wait_for_tree(lambda t: t["dialog"] is not None and not t["items"], timeout=1.5)
        self.activate("Quick")
        self.wait_no_dialog(10)
        self.assertEqual("Quick", self.foreground())
        self.assert_stays_running(slow, 1.0)

        # The next switch shows the tree without the deleted group.
        self.release()
        tree = self.open_switch()
        self.assertNotIn("Group 1", texts(tree))
        self.assertIn("Quick", texts(tree))
        self.end_with_alt()
        self.assert_clean_log()


class FilterTest(SwitchTestCase):
    def test_only_switchable_windows_are_listed(self):
        self.fixtures("Plain")
        self.fixtures("Tool", tool=True)
        self.fixtures("Owned", owned=True)
        self.fixtures("OwnedApp", owned=True, appwindow=True)
        (hidden,) = self.fixtures("Hidden", hidden=True)
        self.start()
        self.activate("Plain")
        tree = self.open_switch()
        shown = set(texts(tree))
        self.assertTrue({"Plain", "OwnedApp"} <= shown, texts(tree))
        self.assertFalse({"Tool", "Owned", "Hidden"} & shown, texts(tree))
        self.assertTrue(hidden.alive())
        self.end_with_alt()


class InstancesAndTrayTest(SwitchTestCase):
    def menu(self, pid):
        return wait_until(lambda: [w for w in self.s.windows() if w["class"] == "#32768" and w["visible"]
                                   and w["pid"] == pid], 10, message="the tray menu")[0]

    def choose(self, main, index):
        """Opens the tray menu as the shell would and clicks item `index`."""
        self.s.post(main["hwnd"], WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONUP)
        left, top, right, bottom = self.menu(main["pid"])["rect"]
        height = (bottom - top) // 2
        self.s.click((left + right) // 2, top + height * index + height // 2)

    def about_boxes(self, pid):
        return [d for d in self.s.dialogs() if d["pid"] == pid and d["visible"]
                and not [c for c in d["children"] if c["class"] == "SysTreeView32"]]

    def test_second_copy_leaves_the_first_working(self):
        self.fixtures("Alpha", "Beta")
        first, main = self.start()
        second = self.start_pelorine()
        box = wait_until(lambda: [b for b in self.s.message_boxes(caption="Pelorine") if b["pid"] != main["pid"]],
                         15, message="the second copy's message box")[0]
        self.assertEqual(ALT_TAB_TAKEN, self.s.box_text(box))
        watch = self.s.watch_exit_code(box["pid"])
        button = [c for c in box["children"] if c["class"].lower() == "button"][0]
        self.s.click(*center(button["rect"]))
        self.assertEqual(0, watch.result(timeout=20))
        self.assertEqual(0, second.wait(10))

        self.activate("Alpha")
        self.open_switch()
        self.tab_to("Beta")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Beta", 10, message="the first copy's choice in front")
        self.assertTrue(first.alive())

    def test_tray_menu_about_once_then_exit(self):
        proc, main = self.start()
        self.choose(main, 0)
        about = wait_until(lambda: self.about_boxes(main["pid"]), 10, message="the About box")
        self.assertEqual(1, len(about))
        # A second "About..." while the box is open shows no second box.
        self.choose(main, 0)
        wait_until(lambda: not [w for w in self.s.windows() if w["class"] == "#32768" and w["visible"]], 10,
                   message="the menu to close")
        self.assert_stays_running(proc, 1.0)
        self.assertEqual(1, len(self.about_boxes(main["pid"])))
        # Keys do nothing; a left click closes it.
        self.s.key_tap("Escape")
        self.s.key_tap("Return")
        self.assertEqual(1, len(self.about_boxes(main["pid"])))
        left, top, right, bottom = about[0]["rect"]
        self.s.click((left + right) // 2, (top + bottom) // 2)
        wait_until(lambda: not self.about_boxes(main["pid"]), 10, message="the About box to close")

        watch = self.s.watch_exit_code(main["pid"])
        self.choose(main, 1)
        self.assertEqual(0, watch.result(timeout=20))
        self.assertEqual(0, proc.wait(10))
        self.assertEqual([], [w for w in self.s.windows() if w["class"] == MAIN_CLASS])

    def test_exit_during_an_open_switch(self):
        self.fixtures("Alpha", "Beta")
        proc, main = self.start()
        self.activate("Alpha")
        self.open_switch()
        watch = self.s.watch_exit_code(main["pid"])
        self.choose(main, 1)
        self.assertEqual(0, watch.result(timeout=20))
        self.assertEqual(0, proc.wait(10))
        self.release()
        self.assertIsNone(self.s.tree()["dialog"])
        self.assert_clean_log()

        # Closed while the dialog is certainly open (no menu takes the focus).
        proc, main = self.start()
        self.activate("Alpha")
        self.open_switch()
        watch = self.s.watch_exit_code(main["pid"])
        self.s.post(main["hwnd"], WM_CLOSE)
        self.assertEqual(0, watch.result(timeout=20))
        self.assertEqual(0, proc.wait(10))
        self.release()

        # A new copy gets the keys and the Alt release: nothing was left behind.
        proc, main = self.start()
        self.open_switch()
        self.tab_to("Beta")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Beta", 10, message="Beta in front")


if __name__ == "__main__":
    unittest.main()

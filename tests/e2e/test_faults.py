"""Faults around the real program: windows that close or hang in the middle of
a switch, Exit while the switcher or a drag is running, a second copy during
a switch, log files that cannot be written, odd registry values, a crowd of
windows, extreme captions and a window without any icon.

After each fault the program must keep running, keep answering (a bounded
WM_NULL from plr_treereader --probe), keep switching, and its log must not
report a broken model."""

import os
import subprocess
import time
import unittest

from harness import (HarnessError, PELORINE_KEY, TRAY_ICON_ID, WM_CLOSE, WM_RBUTTONUP, WM_TRAYICON,
                     wait_until)
from test_editing import (ARROW, STAR, TERMINATED, WM_APP_HANG, EditingTestCase, center, children, item, marked,
                          texts)
from test_stress import BROKEN_MODEL_LOG, MAX_PROBE_MS

BANNER = b"==================Pelorine startup===================="


class FaultTestCase(EditingTestCase):
    def probe(self, main, limit_ms=MAX_PROBE_MS):
        """One bounded WM_NULL round trip to the main window."""
        answer = self.s.treereader("--probe", str(main["hwnd"]), "10000")
        self.assertTrue(answer["ok"], f"the main window did not answer: {answer}")
        self.assertLessEqual(answer["ms"], limit_ms, "the main window answered too late")
        return answer["ms"]

    def switch_to(self, caption, limit=12):
        """A whole switch that ends on `caption`, which must come to the front."""
        self.open_switch()
        self.tab_to(caption, limit)
        self.end_with_alt()
        wait_until(lambda: self.foreground() == caption, 10, message=f"{caption} in the foreground")

    def assert_model_log_clean(self, directory=None):
        data = (self.read_log(directory) or b"").decode("utf-8", "replace")
        broken = [line for line in data.splitlines() if any(s in line for s in BROKEN_MODEL_LOG)]
        self.assertEqual([], broken, "log lines that report a broken model")

    def right_click_item(self, tree, caption):
        x, y = center(item(tree, caption)["rect"])
        # A long caption's item reaches far past the tree's right edge (how
        # far depends on the font's glyphs): click within the visible part.
        x = min(x, tree["dialog"]["tree_rect"][2] - 20)
        self.s.click(x, y)
        self.s.right_click(x, y)

    @staticmethod
    def activations(fixture):
        return len([e for e in fixture.events("WM_ACTIVATE") if e["args"] == ["WA_ACTIVE"]])

    def tray_menu(self, main):
        self.s.post(main["hwnd"], WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONUP)
        return wait_until(lambda: [w for w in self.s.windows() if w["class"] == "#32768" and w["visible"]
                                   and w["pid"] == main["pid"]], 10, message="the tray menu")[0]

    def pelorine_boxes(self, exclude_pid=None):
        return [b for b in self.s.message_boxes(caption="Pelorine") if b["pid"] != exclude_pid]

    def click_ok(self, box):
        (button,) = [c for c in box["children"] if c["class"].lower() == "button"]
        self.s.click(*center(button["rect"]))


class ClosingWindowsTest(FaultTestCase):
    def test_selected_window_closed_in_its_own_group_then_alt_released(self):
        self.fixtures("Alpha")
        (doomed,) = self.fixtures("Doomed")
        proc, main = self.start()
        self.activate("Alpha")
        self.open_switch()
        self.tab_to("Doomed")
        self.press("ctrl+Insert", pred=lambda t: marked(t, STAR) == "Group 1", message="Group 1 with Doomed")
        self.s.post(doomed.hwnds()[0], WM_CLOSE)
        self.assertEqual(0, doomed.wait(10))
        self.probe(main)
        self.end_with_alt()
        self.assert_stays_running(proc, 1.0)
        self.probe(main)

        # The next switch has pruned it and left its group empty; the window
        # in front (Alpha, in the root) takes the arrow and the root the star.
        tree = self.open_switch()
        self.assertNotIn("Doomed", texts(tree))
        self.assertIn("Group 1", texts(tree))
        self.assertEqual([], children(tree, "Group 1"))
        self.assertEqual("Root Group", marked(tree, STAR))
        self.assertIsNotNone(marked(tree, ARROW))
        self.tab_to("Alpha")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Alpha", 10, message="Alpha in front")
        self.assert_model_log_clean()

    def test_window_closed_during_a_switch_and_then_chosen_with_the_mouse(self):
        self.fixtures("Alpha", "Beta")
        (doomed,) = self.fixtures("Doomed")
        proc, main = self.start()
        self.activate("Alpha")
        self.open_switch()
        tree = self.tab_to("Beta")
        activations = self.activations(doomed)
        self.s.post(doomed.hwnds()[0], WM_CLOSE)
        self.assertEqual(0, doomed.wait(10))
        # Its record and item stay until the next switch: choose it.
        self.right_click_item(tree, "Doomed")
        self.tree_where(lambda t: marked(t, ARROW) == "Doomed", "the arrow on the closed window")
        self.end_with_alt()
        self.assert_stays_running(proc, 1.0)
        self.probe(main)
        self.assertEqual(activations, self.activations(doomed))

        tree = self.open_switch()
        self.assertNotIn("Doomed", texts(tree))
        self.assertIsNotNone(marked(tree, ARROW), "a live window took the arrow")
        self.end_with_alt()
        self.switch_to("Beta")
        self.assert_model_log_clean()

    def test_window_that_hangs_after_the_switch_opened_is_not_activated(self):
        self.fixtures("Alpha")
        (hangs,) = self.fixtures("Hangs")
        proc, main = self.start()
        self.activate("Alpha")
        self.open_switch()
        self.tab_to("Hangs")
        self.s.post(hangs.hwnds()[0], WM_APP_HANG)
        wait_until(lambda: hangs.events("HANG"), 10, message="the fixture to hang")
        self.end_with_alt()
        waits = [self.probe(main) for _ in range(5)]
        self.assert_stays_running(proc, 1.0)
        self.assertNotEqual("Hangs", self.foreground())
        self.assertTrue(hangs.alive())

        # It stays listed (it is still there); the next switch works.
        tree = self.open_switch()
        self.assertIn("Hangs", texts(tree))
        self.tab_to("Alpha")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Alpha", 10, message="Alpha in front")
        print(f"\nfaults: probe waits after releasing onto a hung window: {waits} ms")
        self.assert_model_log_clean()


class ExitTest(FaultTestCase):
    def test_tray_exit_in_the_middle_of_a_drag(self):
        self.fixtures("Alpha", "Beta")
        proc, main = self.start()
        self.activate("Alpha")
        tree = self.open_switch()
        tree = self.press("Insert", pred=lambda t: "Group 1" in texts(t), message="Group 1")
        # The drag starts and stays over Group 1 with the button down.
        x, y = center(item(tree, "Beta")["rect"])
        gx, gy = center(item(tree, "Group 1")["rect"])
        self.s.mouse_move(x, y)
        self.s.xdotool("mousedown", "1")
        self.button_down = True
        for k in range(1, 6):
            self.s.mouse_move(x + 3 * k, y)
        self.s.mouse_move(gx, gy)
        self.tree_where(lambda t: item(t, "Group 1")["drop"], "Group 1 highlighted as the drop target", 5)
        watch = self.s.watch_exit_code(main["pid"])
        menu = self.tray_menu(main)
        # "Exit" is the second of two rows; the button comes up on it.
        self.s.mouse_move(*self.s.menu_item_point(menu, 1, 2))
        self.s.xdotool("mouseup", "1")
        self.button_down = False
        if [w for w in self.s.windows() if w["class"] == "#32768" and w["visible"] and w["pid"] == main["pid"]]:
            self.s.click(*self.s.menu_item_point(menu, 1, 2))
        self.assertEqual(0, watch.result(timeout=20), "exit code seen from Windows")
        self.assertEqual(0, proc.wait(10))
        self.release()
        self.assertIsNone(self.s.tree()["dialog"])
        self.assert_model_log_clean()

        # Nothing was left behind: a new copy switches.
        proc, main = self.start()
        self.switch_to("Beta")
        self.assertTrue(proc.alive())

    def test_tray_exit_while_a_deletion_waits_for_an_application(self):
        self.fixtures("Alpha")
        (slow,) = self.fixtures("Slow", close="question")
        proc, main = self.start()
        self.activate("Alpha")
        tree = self.open_switch()
        tree, group = self.new_group_with(tree, "Slow")
        self.s.key_tap("Delete")
        wait_until(lambda: slow.events("CLOSE_QUESTION"), 15, message="the close request")
        self.probe(main)
        # The menu comes once the deletion has given up on the application.
        watch = self.s.watch_exit_code(main["pid"])
        menu = self.tray_menu(main)
        self.s.click(*self.s.menu_item_point(menu, 1, 2))
        self.assertEqual(0, watch.result(timeout=30), "exit code seen from Windows")
        self.assertEqual(0, proc.wait(10))
        self.release()
        self.assert_model_log_clean()


class SecondCopyTest(FaultTestCase):
    def test_second_copy_started_during_an_open_switch(self):
        self.fixtures("Alpha", "Beta")
        first, main = self.start()
        self.activate("Alpha")
        self.open_switch()
        self.press("Insert", pred=lambda t: "Group 1" in texts(t), message="Group 1")
        second = self.start_pelorine()
        box = wait_until(lambda: self.pelorine_boxes(exclude_pid=main["pid"]), 15,
                         message="the second copy's message box")[0]
        watch = self.s.watch_exit_code(box["pid"])
        self.probe(main)
        self.click_ok(box)
        self.assertEqual(0, watch.result(timeout=20))
        self.assertEqual(0, second.wait(10))
        self.release()
        self.wait_no_dialog()
        self.assertTrue(first.alive())

        # The first copy still owns the keys, and kept the group.
        tree = self.open_switch()
        self.assertIn("Group 1", texts(tree))
        self.tab_to("Beta")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Beta", 10, message="Beta in front")
        self.probe(main)
        self.assert_model_log_clean()


class LogFileFaultsTest(FaultTestCase):
    def insert_first_switch(self, caption):
        """A switch whose first key is Alt+Insert (which logs that the dialog
        did not exist yet), ending on `caption`."""
        self.hold()
        self.s.key_tap("Insert")
        self.tree_where(lambda t: marked(t, STAR) is not None, "the switcher", 15)
        self.tab_to(caption)
        self.end_with_alt()
        wait_until(lambda: self.foreground() == caption, 10, message=f"{caption} in front")

    def test_unwritable_log_directory_then_switching_works(self):
        try:
            directory = self.s.readonly_dir(self.dir)
        except HarnessError as e:
            self.skipTest(f"no read-only mount possible here: {e}")
        self.fixtures("Alpha", "Beta")
        self.set_log()
        proc = self.start_pelorine(directory)
        box = wait_until(self.pelorine_boxes, 15, message="the log-open message box")[0]
        self.click_ok(box)
        main = self.wait_main_window(proc)
        self.activate("Alpha")
        self.insert_first_switch("Beta")
        self.probe(main)
        self.assertEqual([], os.listdir(directory))
        self.assertEqual([], self.pelorine_boxes(), "no further message box")

    def test_log_file_deleted_while_running(self):
        self.fixtures("Alpha", "Beta")
        proc, main = self.start()
        wait_until(lambda: BANNER in (self.read_log() or b""), 10, message="the banner")
        os.remove(self.log_path())
        self.activate("Alpha")
        self.insert_first_switch("Beta")
        self.insert_first_switch("Alpha")
        self.assert_stays_running(proc, 1.0)
        self.probe(main)
        self.assertEqual([], self.pelorine_boxes())

    def test_disk_full_while_running(self):
        directory = os.path.join(self.dir, "small")
        os.mkdir(directory)
        res = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", directory],
                             capture_output=True, text=True, timeout=30)
        if res.returncode != 0:
            self.skipTest(f"no tmpfs mount possible here: {res.stderr.strip()}")
        self.addCleanup(lambda: subprocess.run(["umount", "-l", directory], capture_output=True, timeout=30))
        self.fixtures("Alpha", "Beta")
        self.set_log()
        proc = self.start_pelorine(directory)
        main = self.wait_main_window(proc)
        self.addCleanup(lambda: self.s.close_pelorine(proc, timeout=10) if proc.alive() else None)
        wait_until(lambda: BANNER in (self.read_log(directory) or b""), 10, message="the banner")
        # The log's last page of the file system has room left: fill it up
        # with whole lines first, so that the program's next line needs a
        # new page, then take every free page.
        with open(self.log_path(directory), "ab") as log:
            pad = (-log.tell()) % 4096
            while pad:
                chunk = min(pad, 64)
                log.write(b"p" * (chunk - 2) + b"\r\n" if chunk >= 2 else b"\n")
                pad -= chunk
        self.assertEqual(0, os.path.getsize(self.log_path(directory)) % 4096)
        filler = os.path.join(directory, "filler")
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT)
        try:
            while os.write(fd, b"x" * 4096) > 0:
                pass
        except OSError:
            pass
        finally:
            os.close(fd)
        size_full = os.path.getsize(self.log_path(directory))

        self.activate("Alpha")
        for caption in ("Beta", "Alpha", "Beta"):
            self.insert_first_switch(caption)
            self.probe(main)
        self.assert_stays_running(proc, 1.0)
        self.assertEqual(size_full, os.path.getsize(self.log_path(directory)), "nothing fits on a full disk")

        # Room again: the program is still logging.
        os.remove(filler)
        self.insert_first_switch("Alpha")
        wait_until(lambda: os.path.getsize(self.log_path(directory)) > size_full, 10,
                   message="log lines once there is room again")
        self.assertTrue(proc.alive())
        with open(self.log_path(directory), "rb") as f:
            f.seek(size_full)
            added = f.read()
        print(f"\nfaults: log lines written once there was room again: {added!r}")
        # Whole lines only: what could not be written was dropped, not cut.
        for line in added.split(b"\r\n")[:-1]:
            self.assertRegex(line, rb"^[A-Za-z][^\r\n]*[.:]$|^$")
        self.assert_model_log_clean(directory)


class RegistryValuesTest(FaultTestCase):
    def test_log_values_of_other_sizes_and_types(self):
        # (type, data, logging expected): a string is the number it spells,
        # other data is read as up to four bytes.
        cases = [
            ("REG_BINARY", "0100000000000000", False),  # 8 bytes do not fit
            ("REG_BINARY", "0001", True),                 # 2 bytes: 0x100
            ("REG_BINARY", "00", False),                  # 1 byte 0
            ("REG_SZ", "", False),                        # an empty string: 0
            ("REG_MULTI_SZ", "1", False),                 # "1\0\0" is 6 bytes: too long
        ]
        for type_, data, expect_log in cases:
            with self.subTest(type=type_, data=data):
                self.s.reset()
                directory = os.path.join(self.dir, f"{type_}-{data}")
                os.mkdir(directory)
                self.s.reg_add(PELORINE_KEY, "Log", type_, data)
                proc = self.start_pelorine(directory)
                main = self.wait_main_window(proc)
                if expect_log:
                    wait_until(lambda: (self.read_log(directory) or b"").startswith(BANNER), 10,
                               message="the banner")
                else:
                    self.assert_stays_running(proc, 1.0)
                    self.assertIsNone(self.read_log(directory), "logging stays off")
                self.probe(main)
                self.assertEqual([], self.pelorine_boxes())

    def test_call_terminate_process_of_one_byte_eight_bytes_and_a_string(self):
        # (type, data, terminated): a question fixture in a deleted group is
        # terminated only when the value reads as nonzero.
        cases = [
            ("REG_BINARY", "01", True),
            ("REG_BINARY", "0100000000000000", False),
            ("REG_SZ", "1", True),  # the number 1
        ]
        for type_, data, terminated in cases:
            with self.subTest(type=type_, data=data):
                self.s.reset()
                self.placed = 0
                self.fixtures("Alpha")
                (slow,) = self.fixtures("Slow", close="question")
                self.s.reg_add(PELORINE_KEY, "CallTerminateProcess", type_, data)
                proc, main = self.start()
                self.activate("Alpha")
                tree = self.open_switch()
                self.new_group_with(tree, "Slow")
                watch = self.s.watch_exit_code(slow.winpid, timeout_ms=15000)
                self.s.key_tap("Delete")
                wait_until(lambda: slow.events("CLOSE_QUESTION"), 15, message="the close request")
                code = watch.result(timeout=30)
                self.assertEqual(TERMINATED if terminated else None, code)
                self.release()
                self.wait_no_dialog(15)
                self.probe(main)
                self.assertTrue(proc.alive())


class CrowdAndCaptionsTest(FaultTestCase):
    def test_two_hundred_windows_of_one_process(self):
        many = self.s.start_fixture(caption="Many %d", log=True, windows=200, pos=(40, 40))
        # (Indices from 100 on are no owners here: count every window made.)
        wait_until(lambda: len(many.events("CREATE")) >= 200, 120, message="200 fixture windows")
        proc, main = self.start()
        timings = []
        for _ in range(2):
            t0 = time.monotonic()
            self.hold()
            self.s.key_tap("Tab")
            tree = self.tree_where(lambda t: marked(t, STAR) is not None and
                                   sum(x.startswith("Many ") for x in texts(t)) >= 200, "200 windows listed", 60)
            timings.append(time.monotonic() - t0)
            self.assertEqual({f"Many {i}" for i in range(200)}, {x for x in texts(tree) if x.startswith("Many ")})
            self.end_with_alt()
            self.probe(main)
        print(f"\nfaults: switcher with 200 windows open and read in {timings[0]:.1f} s, "
              f"then {timings[1]:.1f} s")
        self.assertLess(max(timings), 30)
        self.assertTrue(proc.alive())
        self.assert_model_log_clean()

    def test_captions_of_0_127_and_500_units_outside_the_basic_plane(self):
        smile = "\U0001F600"  # two UTF-16 units
        exact = "L127-" + smile * 61                     # 127 units
        long_ = "L500-a" + smile * 247                   # 500 units; unit 127 is a high surrogate

        def units(text):
            return len(text.encode("utf-16-le", "surrogatepass")) // 2

        def cut(text, n=127):
            return text.encode("utf-16-le", "surrogatepass")[:2 * n].decode("utf-16-le", "surrogatepass")

        self.assertEqual((127, 500), (units(exact), units(long_)))
        self.fixtures("Alpha")
        proc, main = self.start()
        self.activate("Alpha")
        empties_before = texts(self.open_switch()).count("")
        self.end_with_alt()

        self.fixtures("")
        self.fixtures(exact)
        self.fixtures(long_)
        self.activate("Alpha")
        tree = self.open_switch()
        shown = texts(tree)
        self.assertEqual(empties_before + 1, shown.count(""), "the empty caption is listed")
        self.assertIn(exact, shown)
        self.assertIn(cut(long_), shown, "cut to 127 units")
        self.assertEqual(1, sum(units(x) == 127 and x.startswith("L500-") for x in shown))
        # Chosen with the mouse, the long one comes to the front.
        self.right_click_item(tree, cut(long_))
        self.tree_where(lambda t: marked(t, ARROW) == cut(long_), "the arrow on the long caption")
        self.end_with_alt()
        wait_until(lambda: [w for w in self.s.windows() if w["foreground"] and w["caption"] == long_], 10,
                   message="the long caption in front")
        self.probe(main)
        # The foreground window is found again by its cut caption.
        tree = self.open_switch()
        self.assertEqual(cut(long_), tree["items"][1]["text"])
        self.end_with_alt()
        self.assertTrue(proc.alive())
        self.assert_model_log_clean()

    def test_window_without_any_icon(self):
        self.fixtures("Alpha")
        (bare,) = self.fixtures("Iconless", no_icon=True)
        proc, main = self.start()
        self.activate("Alpha")
        tree = self.open_switch()
        self.assertIn("Iconless", texts(tree))
        self.assertIsNotNone(item(tree, "Iconless").get("image"), "a stand-in image")
        self.tab_to("Iconless")
        self.end_with_alt()
        wait_until(lambda: self.foreground() == "Iconless", 10, message="Iconless in front")
        self.probe(main)
        self.switch_to("Alpha")
        self.assert_model_log_clean()


if __name__ == "__main__":
    unittest.main()

"""Start-up of pelorine.exe as a user meets it: settings, log file, message
boxes, the hidden main window, ending, and a second copy."""

import os
import unittest

from harness import (E2ETestCase, HarnessError, MAIN_CLASS, PELORINE_KEY, WM_CLOSE,
                     wait_until)

BANNER = b"==================Pelorine startup===================="
LOG_OPEN_FAILED = "Could not open log file.  Not writing out log messages."
ALT_TAB_TAKEN = ("RegisterHotKey() for Alt+Tab failed.  There is probably another application "
                 "using that key combination already running.  Aborting.")
WS_EX_TOOLWINDOW = 0x80
WM_COMMAND = 0x0111


class StartupTestCase(E2ETestCase):
    def start_and_wait(self, cwd=None):
        proc = self.start_pelorine(cwd)
        main = self.wait_main_window(proc)
        return proc, main

    def pelorine_boxes(self, exclude_pid=None):
        return [b for b in self.s.message_boxes(caption="Pelorine") if b["pid"] != exclude_pid]

    def click_ok(self, box):
        buttons = [c for c in box["children"] if c["class"].lower() == "button"]
        self.assertEqual(1, len(buttons), f"expected one button in {box}")
        left, top, right, bottom = buttons[0]["rect"]
        self.s.click((left + right) // 2, (top + bottom) // 2)

    def wait_log(self, predicate, directory=None, timeout=10.0):
        return wait_until(lambda: (lambda data: data if data is not None and predicate(data) else None)(
            self.read_log(directory)), timeout, message="the log file")

    def close_and_check_exit(self, proc, main):
        watch = self.s.watch_exit_code(main["pid"])
        self.s.post(main["hwnd"], WM_CLOSE)
        self.assertEqual(0, watch.result(timeout=20), "exit code seen from Windows")
        self.assertEqual(0, proc.wait(10), "exit code seen from Linux")


class QuietStartTest(StartupTestCase):
    def test_without_settings_starts_silently_with_a_hidden_tool_window(self):
        proc, main = self.start_and_wait()
        self.assertFalse(main["visible"], "the main window is never shown")
        self.assertEqual("Pelorine", main["caption"])
        self.assertTrue(main["exstyle"] & WS_EX_TOOLWINDOW, "the main window is a tool window")
        self.assert_stays_running(proc, 2.0)
        self.assertEqual([], self.pelorine_boxes(), "start-up shows no message box")
        self.assertIsNone(self.read_log(), "no log file without the Log setting")
        self.assertEqual([], os.listdir(self.dir), "nothing is written to the current directory")

    def test_log_zero_writes_nothing(self):
        self.set_log("REG_DWORD", 0)
        proc, _ = self.start_and_wait()
        self.assert_stays_running(proc, 1.0)
        self.assertIsNone(self.read_log())

    def test_close_request_ends_the_program_with_exit_code_zero(self):
        proc, main = self.start_and_wait()
        self.close_and_check_exit(proc, main)
        self.assertEqual([], [w for w in self.s.windows() if w["class"] == MAIN_CLASS])


class LogFileTest(StartupTestCase):
    def test_banner_is_appended_after_existing_content(self):
        old = b"line of an earlier run\r\nanother line\r\n"
        with open(self.log_path(), "wb") as f:
            f.write(old)
        self.set_log("REG_DWORD", 1)
        proc, main = self.start_and_wait()
        data = self.wait_log(lambda d: BANNER in d)
        self.assertTrue(data.startswith(old), f"existing content kept: {data!r}")
        self.assertTrue(data[len(old):].startswith(BANNER + b"\r\n"),
                        f"banner follows as one text-mode line: {data[len(old):]!r}")
        self.assertEqual(1, data.count(BANNER))
        self.assertEqual([], self.pelorine_boxes())
        # The stream is closed at the end; what was written stays.
        self.close_and_check_exit(proc, main)
        self.assertTrue(self.read_log().startswith(old + BANNER + b"\r\n"))

    def test_log_values_of_each_registry_type(self):
        # (registry type, data, logging expected): a string is the number it
        # spells, other data is read as up to four bytes.
        cases = [
            ("REG_DWORD", "1", True),
            ("REG_DWORD", "0x80000000", True),
            ("REG_BINARY", "01", True),       # one byte 01 -> 1
            ("REG_BINARY", "00000000", False),
            ("REG_SZ", "1", True),
            ("REG_SZ", "0", False),           # not its first bytes, 0x30
            ("REG_QWORD", "1", False),        # 8 bytes do not fit: the read fails, default 0
        ]
        for type_, data, expect_log in cases:
            with self.subTest(type=type_, data=data):
                self.s.reset()
                directory = os.path.join(self.dir, f"{type_}-{data}")
                os.mkdir(directory)
                self.s.reg_add(PELORINE_KEY, "Log", type_, data)
                proc = self.start_pelorine(directory)
                self.wait_main_window(proc)
                if expect_log:
                    self.wait_log(lambda d: d.startswith(BANNER + b"\r\n"), directory)
                else:
                    self.assert_stays_running(proc, 1.0)
                    self.assertIsNone(self.read_log(directory), "logging stays off")
                self.assertEqual([], self.pelorine_boxes())


class LogCannotBeOpenedTest(StartupTestCase):
    def check_one_box_then_runs_without_log(self, directory):
        self.set_log("REG_DWORD", 1)
        proc = self.start_pelorine(directory)
        boxes = wait_until(self.pelorine_boxes, 15, message="the log-open message box")
        self.assertEqual(1, len(boxes), boxes)
        self.assertEqual(LOG_OPEN_FAILED, self.s.box_text(boxes[0]))
        self.assertEqual(0, boxes[0]["owner"], "the box has no owner window")
        self.click_ok(boxes[0])
        main = self.wait_main_window(proc)
        self.assertEqual(main["pid"], boxes[0]["pid"])
        self.assert_stays_running(proc, 1.5)
        self.assertEqual([], self.pelorine_boxes(), "exactly one message box")
        self.close_and_check_exit(proc, main)
        return main

    def test_read_only_current_directory(self):
        try:
            directory = self.s.readonly_dir(self.dir)
        except HarnessError as e:
            self.skipTest(f"no read-only mount possible here: {e}")
        # The next test's reset (or the session's end) unmounts it.
        self.check_one_box_then_runs_without_log(directory)
        self.assertEqual([], os.listdir(directory))

    def test_log_name_taken_by_a_directory(self):
        os.mkdir(self.log_path())
        self.check_one_box_then_runs_without_log(self.dir)
        self.assertTrue(os.path.isdir(self.log_path()))
        self.assertEqual([], os.listdir(self.log_path()))


class SecondInstanceTest(StartupTestCase):
    # Needs the first copy to hold the Alt+Tab hotkey.
    def test_second_copy_reports_alt_tab_taken_and_ends_with_zero(self):
        self.set_log("REG_DWORD", 1)
        first, main = self.start_and_wait()
        self.wait_log(lambda d: d.count(BANNER) == 1)
        second = self.start_pelorine()
        boxes = wait_until(lambda: self.pelorine_boxes(exclude_pid=main["pid"]), 15,
                           message="the second copy's hotkey message box")
        self.assertEqual(1, len(boxes), boxes)
        self.assertEqual(ALT_TAB_TAKEN, self.s.box_text(boxes[0]))
        self.assertEqual(0, boxes[0]["owner"], "the box has no owner window")
        # The box holds the second copy, so the watcher can take it first.
        watch = self.s.watch_exit_code(boxes[0]["pid"])
        self.click_ok(boxes[0])
        self.assertEqual(0, watch.result(timeout=20), "exit code seen from Windows")
        self.assertEqual(0, second.wait(10))
        # Both banners in the shared log; the first copy runs on untouched.
        data = self.read_log()
        self.assertEqual(2, data.count(BANNER), data)
        self.assertTrue(first.alive())
        self.assertEqual(main["hwnd"], self.wait_main_window(first, pid=main["pid"])["hwnd"])
        self.assertEqual([], self.pelorine_boxes())
        self.close_and_check_exit(first, main)


if __name__ == "__main__":
    unittest.main()

"""What ships beside the program: the .reg files of the release, imported as
a user would, and the notification icon coming back when the shell makes a
new taskbar (Explorer restarted), announced by the "TaskbarCreated"
broadcast.

Under Wine the virtual desktop shows its taskbar only while a notification
icon exists, so with Pelorine's icon the only one, the taskbar's visibility
tells whether the icon is there; a right click on it proves it works."""

import os
import re
import unittest

from harness import E2ETestCase, PELORINE_KEY, TRAY_ICON_ID, windows_path, wait_until

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SETTINGS = os.path.join(REPO, "release", "settings")
HWND_BROADCAST = 0xFFFF
BANNER = b"==================Pelorine startup===================="
# Lines the tray icon code writes when a call fails.
TRAY_FAILURES = ("Shell_NotifyIcon", "RegisterWindowMessage", "ChangeWindowMessageFilterEx")


class TaskbarCreatedTest(E2ETestCase):
    def taskbar_shown(self):
        return self.s.taskbar() is not None

    def taskbar_created_message(self):
        answer = self.s.treereader("--register", "TaskbarCreated")
        self.assertNotEqual(0, answer["message"], answer)
        return answer["message"]

    def menus_of(self, pid):
        return [w for w in self.s.windows() if w["class"] == "#32768" and w["visible"] and w["pid"] == pid]

    def about_boxes(self, pid):
        return [d for d in self.s.dialogs() if d["pid"] == pid and d["visible"]]

    def open_about_from_the_icon(self, main):
        """Right click on the notification icon, "About..." (the first of two
        items), and the About box is there; a click closes it again."""
        self.s.right_click(*self.s.tray_icon_point())
        menu = wait_until(lambda: self.menus_of(main["pid"]), 10, message="the icon's menu")[0]
        self.s.click(*self.s.menu_item_point(menu, 0, 2))
        box = wait_until(lambda: self.about_boxes(main["pid"]), 10, message="the About box")[0]
        left, top, right, bottom = box["rect"]
        self.s.click((left + right) // 2, (top + bottom) // 2)
        wait_until(lambda: not self.about_boxes(main["pid"]), 10, message="the About box to close")

    def start_with_log(self):
        self.set_log()
        proc = self.start_pelorine()
        main = self.wait_main_window(proc)
        wait_until(self.taskbar_shown, 10, message="the taskbar with Pelorine's icon")
        wait_until(lambda: BANNER in (self.read_log() or b""), 10, message="the log's banner")
        return proc, main

    def assert_no_tray_failures(self):
        lines = (self.read_log() or b"").decode("utf-8", "replace").splitlines()
        self.assertEqual([], [line for line in lines if any(name in line for name in TRAY_FAILURES)])

    def test_the_icon_comes_back_when_a_new_taskbar_is_announced(self):
        proc, main = self.start_with_log()
        # The icon goes as with a restarted shell: the taskbar knows it no more.
        gone = self.s.treereader("--tray-delete", str(main["hwnd"]), str(TRAY_ICON_ID))
        self.assertTrue(gone["ok"], gone)
        wait_until(lambda: not self.taskbar_shown(), 10, message="the taskbar to go with the last icon")

        # Explorer tells every top-level window.
        self.s.post(HWND_BROADCAST, self.taskbar_created_message())
        wait_until(self.taskbar_shown, 10, message="the icon to be added again")
        self.open_about_from_the_icon(main)
        self.assertTrue(proc.alive())
        self.assert_no_tray_failures()
        self.s.close_pelorine(proc)

    def test_an_announcement_while_the_icon_is_shown_leaves_it_working(self):
        proc, main = self.start_with_log()
        message = self.taskbar_created_message()
        # Sent, not posted: each one has been handled when the call returns.
        for _ in range(2):
            answer = self.s.send(main["hwnd"], message)
            self.assertTrue(answer["ok"], answer)
        self.s.post(HWND_BROADCAST, message)
        self.assert_stays_running(proc, 1.0)
        self.assertTrue(self.taskbar_shown())
        self.open_about_from_the_icon(main)
        # Adding an icon that exists fails; the program must not take that
        # for a failure, nor lose the icon over it.
        self.assert_no_tray_failures()
        self.s.close_pelorine(proc)


class RegFilesTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.addCleanup(self.delete_both_keys)

    def delete_both_keys(self):
        for view in ("/reg:64", "/reg:32"):
            self.s.run(["wine", "reg", "delete", PELORINE_KEY, "/f", view], timeout=60, check=False)

    def import_file(self, windows, name):
        path = os.path.join(SETTINGS, windows, name)
        self.assertTrue(os.path.isfile(path), path)
        result = self.s.run(["wine", "regedit", "/s", windows_path(path)], timeout=60, check=False)
        self.assertEqual(0, result.returncode, result.stderr)

    def dword(self, name, view):
        """The DWORD value under HKLM\\SOFTWARE\\Pelorine in one registry view, or None."""
        out = self.s.run(["wine", "reg", "query", PELORINE_KEY, "/v", name, view], timeout=60, check=False).stdout
        match = re.search(rf"^\s+{name}\s+REG_DWORD\s+0x([0-9a-fA-F]+)\s*$", out, re.MULTILINE)
        return int(match.group(1), 16) if match else None

    def test_the_64_bit_windows_files_write_the_key_a_32_bit_program_reads(self):
        for name in ("Log", "CallTerminateProcess"):
            with self.subTest(value=name):
                self.import_file("64-bit-windows", f"{name}-on.reg")
                self.assertEqual(1, self.dword(name, "/reg:32"))
                self.assertIsNone(self.dword(name, "/reg:64"), "the 64-bit programs' key was written")
                self.import_file("64-bit-windows", f"{name}-off.reg")
                self.assertEqual(0, self.dword(name, "/reg:32"))
        # Each file touches its own value only.
        self.import_file("64-bit-windows", "Log-on.reg")
        self.import_file("64-bit-windows", "CallTerminateProcess-on.reg")
        self.assertEqual((1, 1), (self.dword("Log", "/reg:32"), self.dword("CallTerminateProcess", "/reg:32")))
        if self.s.registry_view == 32:
            # The 32-bit product itself, under a 64-bit Wine, reads them.
            proc = self.start_pelorine()
            self.wait_main_window(proc)
            wait_until(lambda: BANNER in (self.read_log() or b""), 10, message="the log the setting turned on")
            self.s.close_pelorine(proc)

    def test_the_32_bit_windows_files_switch_what_the_program_reads(self):
        # The plain key, read here by the x86_64 build as by the 32-bit
        # product on 32-bit Windows.
        self.import_file("32-bit-windows", "CallTerminateProcess-on.reg")
        self.assertEqual(1, self.dword("CallTerminateProcess", "/reg:64"))
        self.import_file("32-bit-windows", "CallTerminateProcess-off.reg")
        self.assertEqual(0, self.dword("CallTerminateProcess", "/reg:64"))
        self.assertIsNone(self.dword("CallTerminateProcess", "/reg:32"))

        self.import_file("32-bit-windows", "Log-on.reg")
        self.assertEqual(1, self.dword("Log", "/reg:64"))
        proc = self.start_pelorine()
        self.wait_main_window(proc)
        if self.s.registry_view == 32:
            # The 32-bit product on a 64-bit system reads WOW6432Node, which
            # these files leave alone.
            self.assert_stays_running(proc, 1.0)
            self.assertIsNone(self.read_log(), "a 32-bit program read the 64-bit view")
        else:
            wait_until(lambda: BANNER in (self.read_log() or b""), 10, message="the log the setting turned on")
        self.s.close_pelorine(proc)

        self.import_file("32-bit-windows", "Log-off.reg")
        self.assertEqual(0, self.dword("Log", "/reg:64"))
        quiet = os.path.join(self.dir, "off")
        os.mkdir(quiet)
        proc = self.start_pelorine(cwd=quiet)
        self.wait_main_window(proc)
        self.assert_stays_running(proc, 1.0)
        self.s.close_pelorine(proc)
        self.assertIsNone(self.read_log(quiet), "a log was written with Log turned off")


if __name__ == "__main__":
    unittest.main()

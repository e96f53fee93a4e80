"""The end-to-end tools themselves: the stand-in application, the desktop
reader and the input path through xdotool.  Every other end-to-end test
trusts these, so they are checked against what Wine reports."""

import unittest

from harness import E2ETestCase, WM_CLOSE, wait_until

WS_EX_TOOLWINDOW = 0x80
WS_EX_APPWINDOW = 0x40000
WM_NULL = 0x0000


def by_caption(windows, caption):
    return [w for w in windows if w["caption"] == caption]


class FixtureWindowsTest(E2ETestCase):
    def test_styles_owner_and_visibility_follow_the_options(self):
        plain = self.s.start_fixture(caption="plain", log=True)
        tool = self.s.start_fixture(caption="tool", tool=True)
        owned = self.s.start_fixture(caption="owned", owned=True, appwindow=True, log=True)
        hidden = self.s.start_fixture(caption="hidden", hidden=True)
        minimized = self.s.start_fixture(caption="minimized", minimized=True)
        names = ["plain", "tool", "owned", "hidden", "minimized"]
        wins = wait_until(lambda: (lambda ws: ws if all(by_caption(ws, n) for n in names) else None)(
            self.s.windows()), 20, message="all fixture windows")
        w = {n: by_caption(wins, n)[0] for n in names}
        self.assertTrue(w["plain"]["visible"])
        self.assertFalse(w["plain"]["exstyle"] & WS_EX_TOOLWINDOW)
        self.assertEqual(0, w["plain"]["owner"])
        self.assertTrue(w["tool"]["exstyle"] & WS_EX_TOOLWINDOW)
        self.assertTrue(w["owned"]["exstyle"] & WS_EX_APPWINDOW)
        owner_hwnd = [e for e in owned.events("CREATE", index=100)]
        self.assertEqual(1, len(owner_hwnd))
        self.assertEqual(owned.hwnds()[0], w["owned"]["hwnd"])
        self.assertEqual(int(owner_hwnd[0]["args"][0][5:], 16), w["owned"]["owner"])
        owner = [x for x in wins if x["hwnd"] == w["owned"]["owner"]][0]
        self.assertFalse(owner["visible"], "the owner stays hidden")
        self.assertFalse(w["hidden"]["visible"])
        self.assertTrue(w["minimized"]["iconic"])
        self.assertEqual(plain.winpid, w["plain"]["pid"])

    def test_captions_keep_every_utf16_unit(self):
        caption = "A\u00e9\u4e2d\U0001F600\\x\ud800" + "z" * 300 + "%d"
        fx = self.s.start_fixture(caption=caption, windows=2)
        for i in range(2):
            expected = caption.replace("%d", str(i))
            wait_until(lambda: by_caption(self.s.windows(), expected), 15,
                       message=f"window {i} with the escaped caption")
        self.assertTrue(fx.alive())

    def test_close_modes(self):
        accept = self.s.start_fixture(caption="accept", log=True, exit_code=300)
        refuse = self.s.start_fixture(caption="refuse", log=True, close="refuse")
        question = self.s.start_fixture(caption="question", log=True, close="question")
        h_accept = accept.wait_hwnds()[0]
        h_refuse = refuse.wait_hwnds()[0]
        h_question = question.wait_hwnds()[0]

        watch = self.s.watch_exit_code(accept.winpid)
        self.s.post(h_accept, WM_CLOSE)
        self.assertEqual(300, watch.result(20), "the full code, seen from Windows")
        self.assertEqual(300 % 256, accept.wait(10), "Linux sees it modulo 256")

        self.assertTrue(self.s.send(h_refuse, WM_CLOSE)["ok"])
        self.assertTrue(refuse.events("WM_CLOSE"))
        self.assertTrue(refuse.alive())

        reply = self.s.send(h_question, WM_CLOSE, timeout_ms=1500)
        self.assertFalse(reply["ok"], "the close request does not return while the box is open")
        box = wait_until(lambda: self.s.message_boxes(caption="question"), 10, message="question box")[0]
        self.assertEqual("Close this window?", self.s.box_text(box))
        self.assertTrue(question.alive())
        self.assertTrue(question.events("CLOSE_QUESTION"))

    # Wine 8 does not deliver WM_GETICON sent from another process (the call
    # fails and the window never sees it), so icons are not checked from here.
    def test_hang_and_vanish(self):
        hang = self.s.start_fixture(caption="hang", log=True, hang_after=1500)
        vanish = self.s.start_fixture(caption="vanish", log=True, vanish_after=1500)
        h_hang = hang.wait_hwnds()[0]
        self.assertTrue(self.s.send(h_hang, WM_NULL, timeout_ms=1000)["ok"])
        self.assertTrue(hang.events("WM_NULL"))
        wait_until(lambda: hang.events("HANG"), 10, message="the hang to start")
        self.assertFalse(self.s.send(h_hang, WM_NULL, timeout_ms=1000)["ok"], "a hung window does not answer")
        wait_until(lambda: not by_caption(self.s.windows(), "vanish"), 10, message="the window to vanish")
        self.assertTrue(vanish.alive(), "the process outlives its window")
        self.assertTrue(vanish.events("VANISH"))


class PointerParkingTest(E2ETestCase):
    def test_reset_parks_the_pointer_outside_every_place_a_test_uses(self):
        # The switch and editing tests' grid, and the stress test's farthest
        # window.  A key given to a hung window under the pointer is lost, so
        # the parked pointer must lie outside all of them.
        places = [(20 + 420 * c, 20 + 330 * r, 380, 280) for r in (0, 1) for c in (0, 1, 2)]
        places.append((900, 520, 300, 220))
        for i, (x, y, w, h) in enumerate(places):
            self.s.start_fixture(caption=f"place {i}", log=True, pos=(x, y), size=f"{w},{h}").wait_hwnds()
        rects = {w["caption"]: w["rect"] for w in self.s.windows() if w["caption"].startswith("place ")}
        self.assertEqual(len(places), len(rects))
        self.s.mouse_move(200, 200)  # over the first window, as a test may leave it
        self.s.reset()
        x, y = self.s.mouse_location()
        self.assertNotEqual((200, 200), (x, y), "reset() moves the pointer")
        inside = [c for c, (left, top, right, bottom) in rects.items() if left <= x < right and top <= y < bottom]
        self.assertEqual([], inside, f"the parked pointer {x},{y} lies over a test window")
        self.assertTrue(0 <= x < self.s.width and 0 <= y < self.s.height, (x, y))


class ReaderAndInputTest(E2ETestCase):
    def test_tree_items_states_and_rects(self):
        self.assertIsNone(self.s.tree()["dialog"], "no dialog before the fixture shows one")
        fx = self.s.start_fixture(caption="tree owner", tree_dialog=True, log=True)
        tree = self.s.wait_for_tree(timeout=15)
        self.assertEqual(fx.winpid, tree["dialog"]["pid"])
        items = tree["items"]
        self.assertEqual(["Root Group", "Window A", "Group 1", "Window B", "Window C"], [i["text"] for i in items])
        self.assertEqual([0, 1, 1, 2, 1], [i["depth"] for i in items])
        self.assertEqual([2, 1, 0, 0, 0], [i["state_image"] for i in items])
        self.assertEqual([True, False, False, False, False], [i["expanded"] for i in items])
        self.assertIsNone(items[3]["rect"], "an item inside a collapsed group has no rectangle")
        self.assertTrue(tree["dialog"]["topmost"])
        # Rectangles are screen coordinates: clicking one moves the caret there.
        left, top, right, bottom = items[4]["rect"]
        dl, dt, dr, db = tree["dialog"]["rect"]
        self.assertTrue(dl <= left < right <= dr and dt <= top < bottom <= db, (items[4]["rect"], tree["dialog"]))
        self.s.click((left + right) // 2, (top + bottom) // 2)
        wait_until(lambda: self.s.tree()["items"][4]["caret"], 10, message="caret on Window C")
        l2, t2, r2, b2 = items[2]["rect"]
        self.s.double_click((l2 + r2) // 2, (t2 + b2) // 2)
        expanded = wait_until(lambda: (lambda t: t if t["items"][2]["expanded"] else None)(self.s.tree()), 10,
                              message="Group 1 expanded by a double click")
        self.assertIsNotNone(expanded["items"][3]["rect"])

    def test_keys_reach_the_focused_window(self):
        fx = self.s.start_fixture(caption="keys", log=True)
        hwnd = fx.wait_hwnds()[0]
        wait_until(lambda: (lambda ws: ws[0]["foreground"] if ws else False)(
            [w for w in self.s.windows() if w["hwnd"] == hwnd]), 10, message="the fixture in the foreground")
        self.s.key_tap("a")
        self.s.hotkey("shift", "b")
        wait_until(lambda: fx.events("WM_KEYUP"), 10, message="key events")
        downs = [e["args"][0] for e in fx.events("WM_KEYDOWN")]
        self.assertIn("vk=65", downs)
        self.assertIn("vk=16", downs)
        self.assertIn("vk=66", downs)

    def test_right_click_on_the_notification_icon_reaches_its_window(self):
        fx = self.s.start_fixture(caption="tray owner", log=True, tray=True)
        wait_until(lambda: fx.events("TRAY_ADDED"), 10, message="the icon")
        bar = wait_until(self.s.taskbar, 10, message="the taskbar")
        self.assertEqual("", bar["caption"])
        self.s.right_click(*self.s.tray_icon_point())
        wait_until(lambda: [e for e in fx.events("TRAY") if e["args"] == ["0x205"]], 10,
                   message="WM_RBUTTONUP from the icon")

    def test_message_boxes_are_listed_with_text_and_buttons(self):
        fx = self.s.start_fixture(caption="asker", log=True, close="question")
        self.s.post(fx.wait_hwnds()[0], WM_CLOSE)
        box = wait_until(lambda: self.s.message_boxes(caption="asker"), 10, message="the box")[0]
        self.assertEqual(fx.winpid, box["pid"])
        buttons = [c for c in box["children"] if c["class"].lower() == "button"]
        self.assertEqual(2, len(buttons), box)
        yes = [b for b in buttons if b["text"].replace("&", "") == "Yes"][0]
        l, t, r, b = yes["rect"]
        self.s.click((l + r) // 2, (t + b) // 2)
        self.assertEqual(0, fx.wait(10))
        self.assertEqual(["yes"], [e["args"][0] for e in fx.events("CLOSE_ANSWER")])


if __name__ == "__main__":
    unittest.main()

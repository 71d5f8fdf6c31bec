"""Start-up, the single-instance rule and the shutdown of the real program."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import harness as h

WM_QUIT = 0x0012


class StartupTest(unittest.TestCase):
    def test_second_copy_is_refused_and_close_ends_the_first(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            first = s.start_program_and_wait()
            window = s.window()
            self.assertEqual(window["visible"], "0", "the display must start hidden")
            self.assertEqual([int(window[k]) for k in ("left", "top", "right", "bottom")],
                             [0, 0, 150, 60])
            # The system adds WS_CLIPSIBLINGS to every top-level window; nothing else.
            self.assertEqual(h.number(window["style"]) & ~h.WS_CLIPSIBLINGS, h.WS_POPUP)
            exstyle = h.number(window["exstyle"])
            self.assertTrue(exstyle & h.WS_EX_TOPMOST, f"ex-style {exstyle:#x} not topmost")
            self.assertTrue(exstyle & h.WS_EX_NOACTIVATE, f"ex-style {exstyle:#x} activates")
            self.assertEqual(window["title"], " ")
            self.assertEqual(len(s.tray_icons()), 1, "one tray icon while running")

            second = s.start_program()
            box = s.wait_for_boxes()[0]
            self.assertEqual((box["title"], box["text"], box["icon"], box["buttons"]),
                             ("Exit", "Sonalto is already running", "warning", "1:OK"))
            self.assertNotEqual(box["pid"], window["pid"], "the box is the second copy's")
            self.assertEqual(len([w for w in s.windows() if w["class"] == h.PROGRAM_CLASS]), 1)
            self.assertEqual(len(s.tray_icons()), 1, "the second copy adds no tray icon")

            self.assertTrue(s.press(box["hwnd"], h.IDOK))
            self.assertEqual(s.wait_exit(second), 0)
            self.assertIsNone(first.poll(), "the first copy must go on running")
            self.assertEqual(s.window()["hwnd"], window["hwnd"])

            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(first), 0)
            self.assertIsNone(s.window())
            # What the user sees; Wine would drop the icon of a destroyed window by
            # itself, so the unit tests guard the program's own NIM_DELETE.
            h.wait_until(lambda: not s.tray_icons(), 10, "the tray icon to go away")

    def test_two_copies_started_at_the_same_moment_leave_one(self):
        with h.Session(h.BIN_DIR, sound=False) as s:
            for _ in range(3):
                copies = [s.start_program(), s.start_program()]
                box = s.wait_for_boxes()[0]
                self.assertEqual(box["text"], "Sonalto is already running")
                self.assertTrue(s.press(box["hwnd"], h.IDOK))
                h.wait_until(lambda: [c.poll() for c in copies].count(None) == 1, 20,
                             "the refused copy to end")
                refused, = (c for c in copies if c.poll() is not None)
                self.assertEqual(refused.returncode, 0)
                s.wait_for_window()
                h.wait_until(lambda: s.send(h.WM_NULL).get("answered") == "1", 20,
                             "the copy that runs to reach its message loop")
                self.assertEqual(len([w for w in s.windows() if w["class"] == h.PROGRAM_CLASS]), 1)
                self.assertEqual(len(s.tray_icons()), 1)
                s.send(h.WM_CLOSE)
                running, = (c for c in copies if c is not refused)
                self.assertEqual(s.wait_exit(running), 0)

    def test_without_a_sound_device_the_display_still_works(self):
        with h.Session(h.BIN_DIR, sound=False) as s:
            self.assertEqual(s.mixer()["devices"], 0, "no sound server, no mixer device")
            program = s.start_program_and_wait()
            s.start_desktop()
            watch = s.watch()
            s.key("ctrl+alt+m")
            watch.wait_for("visible", 1)
            # An inert mute switch reads 0 and an inert fader 0: "ON", an empty bar.
            s.wait_for_display(0, "ON")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_a_quit_message_from_another_process_does_not_choose_the_exit_code(self):
        with h.Session(h.BIN_DIR, sound=False) as s:
            program = s.start_program_and_wait()
            self.assertEqual(s.post(WM_QUIT, 7).get("posted"), "1")
            self.assertEqual(s.wait_exit(program), 0)

    def test_a_stored_key_works_and_a_portable_ini_is_read_instead_of_the_registry(self):
        store, portable = r"HKCU\Software\Sonalto", tempfile.mkdtemp(prefix="sonalto-portable-")
        self.addCleanup(shutil.rmtree, portable)
        for name in ("sonalto.exe", "morvask.dll"):
            shutil.copy(os.path.join(h.BIN_DIR, name), portable)
        with open(os.path.join(portable, "sonalto.ini"), "w") as ini:
            ini.write("[Sonalto]\r\nVolumeDownKey=0x00030024\r\n")   # Ctrl+Alt+Home
        with h.Session(h.BIN_DIR, sound=True) as s:
            def reg(*args):
                return subprocess.run(["wine", "reg", *args], env=s.env, capture_output=True)
            # Nothing stored, then a stored Ctrl+Alt+End, then the portable copy: each
            # run leaves the store as it found it.
            try:
                for path, stored, key in ((None, None, "Next"), (None, "0x00030023", "End"),
                                          (os.path.join(portable, "sonalto.exe"), None, "Home")):
                    if stored:
                        reg("add", store, "/v", "VolumeDownKey", "/t", "REG_DWORD", "/d", stored,
                            "/f")
                    before = reg("query", store)
                    self.assertEqual(before.returncode != 0, stored is None and path is None)
                    program = s.wine_process([path or "sonalto.exe"])
                    s.wait_for_window()
                    h.wait_until(lambda: s.send(h.WM_NULL).get("answered") == "1", 20, "the loop")
                    s.start_desktop() if s.desktop_xid is None else s.focus_desktop()
                    s.key(f"ctrl+alt+{key}")
                    s.wait_for_display(65535 - 500, "ON")
                    s.send(h.WM_CLOSE)
                    self.assertEqual(s.wait_exit(program), 0)
                    self.assertEqual(reg("query", store).stdout, before.stdout, "nothing written")
            finally:   # the prefix is every other test's too
                reg("delete", store, "/f")

if __name__ == "__main__":
    h.main()

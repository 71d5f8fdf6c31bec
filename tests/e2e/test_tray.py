"""The tray icon as a user sees it: its image after real hotkeys, its tip, and its
return after the taskbar is created again."""

import unittest

import harness as h

FULL = 65535                     # Wine's fader at start-up
TIP = "Sonalto (by Brelin)"
# Wine's mixer sends no change notifications; the program gets the one the
# platform would send after each change.
MM_MIXM_CONTROL_CHANGE = 977


class TrayTest(unittest.TestCase):
    def test_image_follows_mute_and_the_icon_returns_after_the_taskbar_restarts(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            program = s.start_program_and_wait()
            desktop = s.start_desktop()
            watch = s.watch()
            s.wait_for_tray_image("ENMUTEOFF")
            self.assertEqual(s.tray_tip(), TIP)

            s.key("ctrl+alt+m")
            watch.wait_for("visible", 1)   # the mute is done once the display shows
            s.send(MM_MIXM_CONTROL_CHANGE)
            first = s.wait_for_tray_image("ENMUTEON")

            # The shell announces a new taskbar while it still shows the icon: the
            # program removes and adds it, so there is a new icon, not a second one.
            s.send("TaskbarCreated")
            again = s.wait_for_tray_image("ENMUTEON")
            self.assertNotEqual(again["hwnd"], first["hwnd"], "the icon was not added again")

            # A restarted taskbar has lost every icon: the announcement brings it back
            # with the current image and the tip.
            self.assertTrue(s.delete_tray_icon())
            h.wait_until(lambda: not s.tray_icons(), 5, "the icon to be lost")
            s.send("TaskbarCreated")
            s.wait_for_tray_image("ENMUTEON")
            self.assertEqual(s.tray_tip(), TIP)

            s.key("ctrl+alt+Prior")         # volume up unmutes
            s.wait_for_display(FULL, "ON")
            s.send(MM_MIXM_CONTROL_CHANGE)
            s.wait_for_tray_image("ENMUTEOFF")

            self.assertEqual({v for _, _, v in watch.events("foreground")},
                             {h.number(desktop["hwnd"])}, "the user's window lost the foreground")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)


if __name__ == "__main__":
    h.main()

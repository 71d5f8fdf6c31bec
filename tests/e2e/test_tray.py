"""The tray icon as a user sees it: its image after real hotkeys, its tip, and its
return after the taskbar is created again."""

import time
import unittest

import harness as h

FULL = 65535                     # Wine's fader at start-up
TIP = "Sonalto (by Brelin)"
# Wine's mixer sends no change notifications; the program gets the one the
# platform would send after each change.
MM_MIXM_CONTROL_CHANGE = 977
STEP = 500       # one volume step after a pause
PAUSE = 0.85     # s between wheel turns: over 800 ms, so no step grows
QUIET = 0.8      # s given to turns that must change nothing


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



class TrayWheelTest(unittest.TestCase):
    """The wheel over the program's own tray icon, with the edges switched off so that
    only the icon can take a turn wherever Wine puts its tray. A portable copy carries
    the settings, so the prefix's registry stays as it was."""

    def start(self, s, tray_wheel):
        program = h.portable_copy(self, ["EdgeWheel=0", f"TrayWheel={tray_wheel}"])
        # The probe's icon stands beside the program's in the tray.
        s.wine_process(["probe.exe", "tray-hold"])
        h.wait_until(lambda: len(s.tray_icons()) == 1, 15, "the probe's own tray icon")
        self.program = s.wine_process([program])
        s.wait_for_window()
        h.wait_until(lambda: s.send(h.WM_NULL).get("answered") == "1", 20, "the loop")
        h.wait_until(lambda: len(s.tray_icons()) == 2, 15, "the program's tray icon")
        s.start_desktop()
        self.watch = s.watch()
        matches, _ = s.tray_images()
        icons = s.tray_icons()
        ours = [icon for icon, names in zip(icons, matches) if names]
        self.assertEqual(len(ours), 1, f"the program's icon among {matches}")
        beside = [icon for icon in icons if icon is not ours[0]]
        return h.centre(ours[0]), h.centre(beside[0])

    def notches(self, s, x, y, count=3, check=None):
        """Rests the pointer at (x, y), where a move tells the icon it is there, then
        turns the wheel down, a pause between notches; check(n) after the nth."""
        s.raise_tray()
        s.xdotool("mousemove", x - 1, y, "sleep", "0.1", "mousemove", x, y, "sleep", "0.2")
        for notch in range(1, count + 1):
            time.sleep(PAUSE)
            s.wheel(x, y, -1)
            if check:
                check(notch)

    def assertNothingHappens(self, s, what, x, y):
        h.wait_until(lambda: self.watch.last("visible") in (None, 0), 5, "the display to hide")
        before = self.watch.mark()
        self.notches(s, x, y)
        time.sleep(QUIET)
        self.assertEqual(s.send(h.WM_NULL).get("answered"), "1", f"{what}: no answer")
        shown = [v for t, _, v in self.watch.events("visible") if v and t >= before]
        self.assertEqual(shown, [], f"{what}: the display showed")

    def test_the_wheel_over_the_icon_steps_and_over_the_rest_of_the_tray_does_nothing(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            icon, beside = self.start(s, tray_wheel=1)
            self.notches(s, *icon, check=lambda n: s.wait_for_display(FULL - n * STEP, "ON"))
            self.assertNothingHappens(s, "over the probe's icon", *beside)
            self.assertNothingHappens(s, "over a window", h.SCREEN_WIDTH // 2,
                                      h.SCREEN_HEIGHT // 2)
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(self.program), 0)

    def test_the_icon_takes_no_turn_with_tray_wheel_off(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            icon, _ = self.start(s, tray_wheel=0)
            self.assertNothingHappens(s, "over the icon with TrayWheel=0", *icon)
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(self.program), 0)


if __name__ == "__main__":
    h.main()

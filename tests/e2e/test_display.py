"""The on-screen display as a user sees it, driven by real key presses."""

import sys
import time
import unittest

import harness as h

FULL = 65535     # Wine's fader at start-up
STEP = 500       # one volume step after a pause
PAUSE = 0.85     # s between key presses: over 800 ms, so no step grows
HIDE_DELAY = 1800
TIMER_PERIOD = 400
LATENESS = 150   # ms a busy machine may add to a timer tick
LAST_CLICK = 0x8000 + 2  # WM_APP + 2: where the stand-in desktop was last clicked


class DisplayTest(unittest.TestCase):
    def press(self, s, watch, key):
        """Presses a hotkey PAUSE s after the previous one; returns the ticks just
        before and just after, between which the program acts on it."""
        time.sleep(max(0.0, self.last_press + PAUSE - time.monotonic()))
        self.last_press = time.monotonic()
        before = watch.mark()
        s.key(key)
        return before, watch.mark()

    def assertHidesOnTime(self, watch, change_tick, latest_change_tick):
        hidden = watch.wait_for("visible", 0, after=change_tick, timeout=5)
        print(f"hidden {hidden - change_tick}..{hidden - latest_change_tick} ms after the "
              "last change", file=sys.stderr)
        self.assertGreater(hidden - change_tick, HIDE_DELAY, "hid too early")
        self.assertLessEqual(hidden - latest_change_tick, HIDE_DELAY + TIMER_PERIOD + LATENESS,
                             "hid too late")

    @h.needs_real_time
    def test_hotkeys_show_the_volume_without_taking_the_focus(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            s.start_program_and_wait()
            desktop = s.start_desktop()
            watch = s.watch()
            self.assertEqual(s.foreground()["hwnd"], desktop["hwnd"])

            self.last_press = 0
            self.press(s, watch, "ctrl+alt+m")
            shown = watch.wait_for("visible", 1)
            s.wait_for_display(FULL, "Mute")

            volume = FULL
            for _ in range(3):
                self.press(s, watch, "ctrl+alt+Next")
                volume -= STEP
                s.wait_for_display(volume, "Mute")

            # Up unmutes: the whole display is painted again, now reading "ON".
            before, after = self.press(s, watch, "ctrl+alt+Prior")
            volume += STEP
            s.wait_for_display(volume, "ON")
            self.assertEqual(watch.events("visible")[-1][0], shown, "stayed shown throughout")
            self.assertHidesOnTime(watch, before, after)

            # Shown again from hidden, the hide delay runs from the moment it shows.
            self.press(s, watch, "ctrl+alt+m")
            shown = watch.wait_for("visible", 1, after=after)
            s.wait_for_display(volume, "Mute")
            self.assertHidesOnTime(watch, shown, shown)

            self.assertEqual({v for _, _, v in watch.events("foreground")},
                             {h.number(desktop["hwnd"])}, "the display took the focus")
            self.assertEqual(s.foreground()["hwnd"], desktop["hwnd"])
            self.assertEqual(s.xdotool("getwindowfocus").strip(), s.desktop_xid)

    @h.needs_real_time
    def test_a_held_mute_key_toggles_once_and_clicks_pass_through_the_display(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            s.start_program_and_wait()
            s.start_desktop()
            watch = s.watch()
            # The key repeats while held; a repeat taken for a press would toggle again
            # and keep the display shown. It must hide as after one press, the key still
            # down, and the next hold must toggle back.
            for text in ("Mute", "ON"):
                before = watch.mark()
                s.xdotool("keydown", "ctrl+alt+m")
                try:
                    s.wait_for_display(FULL, text)
                    watch.wait_for("visible", 0, after=before,
                                   timeout=(HIDE_DELAY + TIMER_PERIOD) / 1000 + 1.5)
                finally:
                    s.xdotool("keyup", "ctrl+alt+m")
                time.sleep(0.3)  # let go a moment, as a hand does

            # Shown, the display sits over the desktop's corner; a click there is the
            # desktop's, and the display keeps its place and the focus stays put.
            s.key("ctrl+alt+Next")
            s.wait_for_display(FULL - STEP, "ON")
            s.click(75, 45)
            h.wait_until(lambda: s.send(LAST_CLICK, class_name=h.DESKTOP_CLASS).get("result") ==
                         str(45 << 16 | 75), 5, "the click to reach the desktop")
            self.assertEqual(s.window()["visible"], "1")
            self.assertEqual(s.foreground()["class"], h.DESKTOP_CLASS)

    def test_quick_presses_accelerate(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            s.start_program_and_wait()
            s.start_desktop()
            # Eight presses 40 ms apart move the fader by 1, 1, 2, ... 7 times 500
            # when the step grows (a bar of 86 px); without growth, by 8 times 500
            # (103 px). A few late presses on a busy machine still end far below 103.
            s.key(*["ctrl+alt+Next"] * 8)
            s.wait_for_picture(lambda p: [] if h.bar_length(p) <= 95 else
                               [f"bar {h.bar_length(p)} px: the steps did not grow"],
                               what="the bar after eight quick presses")


if __name__ == "__main__":
    h.main()

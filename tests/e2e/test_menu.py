"""The tray menu and the hotkeys' on/off switch, driven by real clicks and keys on
the real program."""

import time
import unittest

import harness as h

FULL = 65535          # Wine's fader at start-up
STEP = 500            # one volume step after a pause
PAUSE = 0.85          # s between volume keys: over 800 ms, so no step grows
QUIET = 1.0           # s to see that something does not happen
ITEMS = ("Controls", "Settings...", "Disable", "Enable", "Exit")   # every text the menu may show
ENABLED = ("Controls", "Settings...", "Disable", "Exit")
DISABLED = ("Controls", "Settings...", "Enable", "Exit")
HELP = ("Volume:|  Mouse Wheel on borders of Screen|  or Shift + Mouse Wheel|"
        "  or Mouse Wheel over the tray icon|  or Ctrl + Alt + PgUp / PgDn||Mute On/Off:|  Ctrl + Alt + M|||"
        "Enable/Disable Sonalto:|  Shift + Pause")   # probe shows each line break as |
MOD_CONTROL_ALT, VK_PRIOR = 3, 33


class MenuTest(unittest.TestCase):
    def assertMenuReads(self, s, *texts):
        found = s.menu_texts(*ITEMS)
        self.assertEqual([t["text"] for t in found], list(texts))
        self.assertEqual(len({t["left"] for t in found}), 1, f"items not aligned: {found}")
        return {t["text"]: t for t in found}

    def assertNoMenuFor(self, s, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.assertIsNone(s.menu(), "a menu opened")

    def assertDesktopForeground(self, s, desktop):
        self.assertEqual(s.foreground()["hwnd"], desktop["hwnd"])

    def choose(self, s, items, item):
        """Opens the menu, sees that it reads `items` and clicks one of them."""
        s.open_tray_menu()
        s.click(*h.centre(self.assertMenuReads(s, *items)[item]))
        s.wait_for_no_menu()

    def dismiss(self, s):
        """Closes the open menu with a click elsewhere; the menu takes that click, so
        another one gives the user's window the foreground back."""
        s.click(h.SCREEN_WIDTH // 2, h.SCREEN_HEIGHT // 2)
        s.wait_for_no_menu()
        s.focus_desktop()

    def test_menu_opens_on_right_release_and_runs_help_switch_and_exit(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            program = s.start_program_and_wait()
            desktop = s.start_desktop()
            watch = s.watch()
            x, y = h.centre(s.raise_tray()[0])

            s.click(x, y, repeat=2)          # a left click, then a double click
            self.assertNoMenuFor(s, QUIET)
            s.focus_desktop()   # the click made Wine's tray window the foreground
            s.raise_tray()
            s.xdotool("mousemove", x, y, "mousedown", 3)
            self.assertNoMenuFor(s, QUIET)   # not on the press: on the release
            s.xdotool("mouseup", 3)
            menu = s.wait_for_menu()
            self.assertEqual(h.rect(menu)[:2], (x, y), "the menu opens at the pointer")
            self.assertMenuReads(s, *ENABLED)
            self.assertEqual(s.foreground()["class"], h.PROGRAM_CLASS, "the menu's owner leads")

            # A click elsewhere closes the menu, and so it does the second time: that
            # one stays open until then and is the same menu.
            self.dismiss(s)
            s.open_tray_menu()
            time.sleep(0.5)
            self.assertMenuReads(s, *ENABLED)
            self.dismiss(s)

            self.choose(s, ENABLED, "Controls")
            box = s.wait_for_boxes()[0]
            self.assertEqual((box["title"], box["text"], box["icon"], box["buttons"]),
                             ("Controls", HELP, "information", "1:OK"))
            s.click_box_button(h.IDOK)
            h.wait_until(lambda: not s.boxes(), 5, "the help box to close")
            s.focus_desktop()

            self.choose(s, ENABLED, "Disable")
            s.wait_for_tray_image("DIMUTEOFF")
            s.focus_desktop()
            s.open_tray_menu()
            self.assertMenuReads(s, *DISABLED)
            self.dismiss(s)

            # Off, the volume keys do nothing: the first step after switching on
            # again starts from the full volume.
            mark = watch.mark()
            s.key("ctrl+alt+Next")
            time.sleep(QUIET)
            self.assertNotIn(1, [v for t, _, v in watch.events("visible") if t >= mark],
                             "Ctrl+Alt+PgDn showed the display while switched off")
            s.key("shift+Pause")
            s.wait_for_tray_image("ENMUTEOFF")
            s.key("ctrl+alt+Next")
            s.wait_for_display(FULL - STEP, "ON")
            self.assertDesktopForeground(s, desktop)

            self.choose(s, ENABLED, "Exit")
            self.assertEqual(s.wait_exit(program), 0)
            h.wait_until(lambda: not s.tray_icons(), 10, "the tray icon to go away")
            self.assertEqual(s.boxes(), [], "Exit asks nothing")

    def test_a_volume_hotkey_held_elsewhere_is_reported_and_the_others_work(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            s.hold_hotkey(MOD_CONTROL_ALT, VK_PRIOR)
            desktop = s.start_desktop()
            program = s.start_program()
            box = s.wait_for_boxes()[0]
            self.assertEqual((box["title"], box["text"], box["buttons"]),
                             ("", "HotKey for Volume up not registered", "1:OK"))
            # Without an icon the box keeps an empty icon control: no system icon in it.
            self.assertIn(box.get("icon", "none"), ("none", "unknown"))
            s.click_box_button(h.IDOK)
            h.wait_until(lambda: not s.boxes(), 5, "the box to close")
            h.wait_until(lambda: s.send(h.WM_NULL).get("answered") == "1", 20,
                         "the program to reach its message loop")
            self.assertEqual(s.boxes(), [], "only the held hotkey is reported")
            self.assertIsNone(program.poll())
            s.wait_for_tray_image("ENMUTEOFF")
            s.focus_desktop()

            s.key("ctrl+alt+Next")
            s.wait_for_display(FULL - STEP, "ON")
            time.sleep(PAUSE)
            s.key("ctrl+alt+m")
            s.wait_for_display(FULL - STEP, "Mute")
            self.assertDesktopForeground(s, desktop)
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)


if __name__ == "__main__":
    h.main()

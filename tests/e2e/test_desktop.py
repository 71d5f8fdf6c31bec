"""The program on a desktop of two monitors and on a scaled one, and the manifest
that makes Windows give it physical pixels."""

import time
import unittest
import xml.etree.ElementTree as ElementTree

import harness as h
from test_wheel import FULL, QUIET, STEP, WheelTurns, telling_direction

WIDTH, HEIGHT = h.SCREEN_WIDTH, h.SCREEN_HEIGHT
# One wide X screen split in two, the primary on the left and then on the right;
# Windows puts the primary at 0,0 and the other monitor right of it or, at
# negative coordinates, left of it.
LAYOUTS = [([(0, 0, WIDTH, HEIGHT), (WIDTH, 0, WIDTH, HEIGHT)], (WIDTH, 0, 2 * WIDTH, HEIGHT)),
           ([(WIDTH, 0, WIDTH, HEIGHT), (0, 0, WIDTH, HEIGHT)], (-WIDTH, 0, 0, HEIGHT))]

SUPPORTED_OS = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


class DesktopTest(WheelTurns, unittest.TestCase):
    def test_wheel_acts_at_the_outer_edges_of_two_monitors_only(self):
        for monitors, second in LAYOUTS:
            with self.subTest(second=second):
                self.wheel_on_two_monitors(monitors, second)

    def wheel_on_two_monitors(self, monitors, second):
        left, right = min(0, second[0]), max(WIDTH, second[2])
        shared = second[0] if second[0] > 0 else second[2]
        middle = ((second[0] + second[2]) // 2, HEIGHT // 2)
        outer_edges = [(left, 300), (right - 1, 300), (right - 3, 500), (middle[0], 0),
                       (middle[0], HEIGHT - 1), (300, HEIGHT - 3)]
        not_border = [(shared - 1, 300), (shared - 3, 300), (shared, 300), (shared + 3, 300),
                      middle, (WIDTH // 2, HEIGHT // 2)]
        with h.Session(h.BIN_DIR, sound=True, monitors=monitors) as s:
            seen = sorted(h.rect(m) for m in s.probe("monitors") if m.get("record") == "monitor")
            self.assertEqual(seen, sorted([(0, 0, WIDTH, HEIGHT), second]),
                             "Wine does not see the two monitors")
            program = s.start_program_and_wait()
            s.start_desktop()
            watch = s.watch()
            self.last_turn = 0.0

            # The display is hidden: a turn that stepped would show it.
            before = watch.mark()
            for x, y in not_border:
                s.wheel(x, y, -1)
            time.sleep(QUIET)
            self.assertEqual(s.send(h.WM_NULL).get("answered"), "1")
            self.assertEqual([t for t, _, v in watch.events("visible") if v and t >= before], [],
                             "the wheel stepped at the shared edge or inside a monitor")

            volume = FULL
            for (x, y), shift in [(edge, False) for edge in outer_edges] + [(middle, True)]:
                direction = telling_direction(volume)
                self.turn(s, x, y, direction, shift)
                volume += direction * STEP
                try:
                    s.wait_for_display(volume, "ON")
                except h.HarnessError as error:
                    self.fail(f"({x}, {y}){' with Shift' if shift else ''}: {error}")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_display_is_drawn_for_the_scaling_of_the_desktop(self):
        layout = h.Layout(144)
        with h.Session(h.BIN_DIR, sound=True, dpi=layout.dpi) as s:
            program = s.start_program_and_wait()
            s.start_desktop()
            self.assertEqual(h.rect(s.window()), (0, 0, 225, 90))
            s.key("ctrl+alt+m")
            s.wait_for_display(FULL, "Mute", layout=layout)
            s.key("ctrl+alt+Next")
            s.wait_for_display(FULL - STEP, "Mute", layout=layout)
            s.key("ctrl+alt+m")
            s.wait_for_display(FULL - STEP, "ON", layout=layout)
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_manifest_asks_for_physical_pixels_and_the_current_controls(self):
        with h.Session(h.BIN_DIR, sound=False) as s:
            text = s.probe_text("manifest", "sonalto.exe")
        root = ElementTree.fromstring(text)
        found = {element.tag.rpartition("}")[2]: element for element in root.iter()}
        controls = [e.attrib for e in root.iter() if e.tag.endswith("assemblyIdentity")
                    and e.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual([(c["version"], c["publicKeyToken"]) for c in controls],
                         [("6.0.0.0", "6595b64144ccf1df")])
        self.assertEqual(found["requestedExecutionLevel"].get("level"), "asInvoker")
        self.assertEqual({e.get("Id") for e in root.iter() if e.tag.endswith("supportedOS")},
                         SUPPORTED_OS)
        self.assertEqual(found["dpiAware"].text.strip().lower(), "true/pm")
        self.assertEqual(found["dpiAwareness"].text.split(",")[0].strip(), "PerMonitorV2")


if __name__ == "__main__":
    h.main()

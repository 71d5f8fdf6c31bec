"""Reliability of the real program: a flood of window messages from another
process, forged hook messages, the sound server going away, the shell coming back,
display changes of every size, and a long run measured for leaks. After each fault
the program is judged by what it still does (a hotkey shows the right bar, the
wheel steps at the border), not only by its being alive: under Wine a fault inside
a window procedure can be swallowed and leave the process running.

The figures (seed, counts, durations, resources before and after) are printed in
one block at the end and written to <build>/reliability-figures.txt.

A flood can be replayed with SONALTO_FLOOD_SEED=<seed>."""

import os
import random
import subprocess
import sys
import tempfile
import time
import unittest

import harness as h

FULL = 65535          # Wine's fader at start-up
STEP = 500            # one volume step after a pause
QUIET = 0.8           # s to see that something does not happen
HIDE_WITHIN = 5       # s: the display hides 1800 ms after the last change, at a 400 ms tick
TIP = "Sonalto (by Brelin)"

FLOOD_COUNT = 30000   # random messages, about half sent and half posted
HOOK_FORGERIES = 2000
LONG_RUN = {"volume steps": 10000, "mute toggles": 1000, "on/off toggles": 200,
            "menu openings": 100}
REBINDS = 300         # default device changes, each a full rebinding (a multiple of 3)
REBIND_WARM_UP = 30
WARM_UP = {"volume steps": 200, "mute toggles": 20, "on/off toggles": 4, "menu openings": 4}

WM_DISPLAYCHANGE = 0x007E
WM_TRAYNOTIFY = 0x0401
WM_RBUTTONUP = 0x0205
# Wine's mixer sends no change notifications; the program gets the one the platform
# would send, so that the tray image follows the mute switch.
MM_MIXM_CONTROL_CHANGE = 977
ATOM_MUTE, ATOM_UP, ATOM_DOWN, ATOM_ENABLE = ("sonalHKMute", "sonalHKVolUp", "sonalHKVolDown",
                                              "sonalHKEnabDis")

# What the long run may leave behind, after a warm-up that lets Wine build its
# caches (fonts, the menu's window, the display's surface):
#   GDI objects: none; the program creates its brushes and pen once.
#   user handles of the session: none of the program's; 4 for Wine's own processes
#     (the tray, the stand-in desktop), which may make a tooltip or a cursor meanwhile.
#   windows of the program: none.
#   kernel handles of the program: 16, for Wine's own event and section handles.
#   private memory, committed (the Windows view) and anonymous resident (Wine's
#     PagefileUsage, Linux's RssAnon): 256 KiB each, heap pages touched once.
# A leak of one object per action exceeds each of these many times over: 100 menus,
# 11,000 paints, 10,000 steps.
ALLOWANCE = {"gdi_table": 0, "user_handles_session": 4, "windows": 0, "handles_listed": 16,
             "private_committed": 256 * 1024, "pagefile_usage": 256 * 1024}
RESOURCE_NAMES = {
    "gdi_table": "GDI objects (the process's GDI handle table)",
    "user_handles_session": "user handles alive in the session (wineserver table)",
    "windows": "windows of the program",
    "handles_listed": "kernel handles of the program (system handle list)",
    "private_committed": "private committed bytes (VirtualQueryEx)",
    "pagefile_usage": "private resident bytes (PagefileUsage = RssAnon)",
    "gdi_objects": "GetGuiResources GR_GDIOBJECTS",
    "user_objects": "GetGuiResources GR_USEROBJECTS",
    "handles": "GetProcessHandleCount",
}

FIGURES = {}   # section: [(name, value)], in the order found


def figure(section, name, value):
    FIGURES.setdefault(section, []).append((name, value))


def makelparam(low, high):
    return (high & 0xFFFF) << 16 | (low & 0xFFFF)


def flood_seed():
    return int(os.environ.get("SONALTO_FLOOD_SEED", "0"), 0) or random.randrange(1, 2 ** 32)


def run_probe(s, *args, timeout=240):
    """probe.exe for a command that may run longer than Session.probe waits:
    returns (exit code, first record)."""
    with tempfile.TemporaryFile() as out:
        process = s.wine_process(["probe.exe"] + [str(a) for a in args], stdout=out)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise h.HarnessError(f"probe {' '.join(map(str, args))} still runs after {timeout} s")
        out.seek(0)
        records = h.parse_records(out.read().decode(errors="replace"))
    return code, (records[0] if records else {})


def resources(s):
    found = s.probe_one("resources", h.PROGRAM_CLASS)
    if found.get("found") != "1":
        raise h.HarnessError(f"no figures for the program: {found}")
    return {k: int(found[k]) for k in RESOURCE_NAMES if k in found}


def hold_tray(s):
    """Puts an icon of the probe's own in the tray for the session (probe
    tray-hold): the program's icon is then never the last one, whose removal makes
    Wine's stand-alone tray wait two seconds for a window manager."""
    s.wine_process(["probe.exe", "tray-hold"])
    h.wait_until(lambda: len(s.tray_icons()) == 1, 15, "the probe's own tray icon")


class ReliabilityTest(unittest.TestCase):
    def setUp(self):
        self.volume = FULL
        self.stepped = self.ignored = 0

    # -- the display, judged by its visibility and its picture --

    def wait_hidden(self, s):
        h.wait_until(lambda: s.window()["visible"] == "0", HIDE_WITHIN, "the display to hide")

    def assertWheelSteps(self, s, watch, x, y):
        """From a hidden display, which also means the step is back at 500, one
        notch down at (x, y) shows the display one step lower."""
        self.wait_hidden(s)
        mark = watch.mark()
        s.wheel(x, y, -1)
        try:
            watch.wait_for("visible", 1, after=mark, timeout=3)
        except h.HarnessError:
            self.fail(f"the wheel at ({x},{y}) did not step the volume")
        self.volume -= STEP
        s.wait_for_display(self.volume, "ON")
        self.stepped += 1

    def assertWheelIgnored(self, s, watch, x, y):
        self.wait_hidden(s)
        mark = watch.mark()
        s.wheel(x, y, -1)
        time.sleep(QUIET)
        self.assertNotIn(1, [v for t, _, v in watch.events("visible") if t >= mark],
                         f"the wheel at ({x},{y}) changed the volume")
        self.ignored += 1

    def assertHotkeyShowsKnownVolume(self, s):
        """Whatever the fader was, 40 quick volume-down hotkeys take it to 0 (the
        step grows to 4000); once the display has hidden, which resets the step, the
        real Ctrl+Alt+PgUp must show 500 and "ON", as volume up unmutes."""
        code, answer = run_probe(s, "hotkeys", h.PROGRAM_CLASS, 40, ATOM_DOWN)
        self.assertEqual(code, 0, answer)
        self.wait_hidden(s)
        s.focus_desktop()
        s.key("ctrl+alt+Prior")
        s.wait_for_display(STEP, "ON")

    # -- the tray --

    def program_tray_image(self, s):
        """With the probe's icon beside it: the program's one icon and its image,
        after the mixer notification that refreshes it."""
        s.send(MM_MIXM_CONTROL_CHANGE)
        matches, _ = s.tray_images()
        self.assertEqual(len(matches), 2, f"icons: {matches} (the probe's and the program's)")
        program = [m for m in matches if m]
        self.assertEqual(len(program), 1, f"not one icon of the program: {matches}")
        self.assertEqual(len(program[0]), 1, f"the icon matches {program[0]}")
        return program[0][0]

    # -- the cases --

    def test_a_message_flood_from_another_process_leaves_every_control_working(self):
        seed = flood_seed()
        print(f"flood seed {seed}", file=sys.stderr)
        with h.Session(h.BIN_DIR, sound=True) as s:
            hold_tray(s)
            program = s.start_program_and_wait()
            s.start_desktop()
            before = resources(s)
            started = time.monotonic()
            code, flood = run_probe(s, "flood", h.PROGRAM_CLASS, FLOOD_COUNT, seed)
            figure("flood", "seed", seed)
            figure("flood", "wall time", f"{time.monotonic() - started:.1f} s")
            for key, value in flood.items():
                if key not in ("found", "seed") and "." not in key or key.startswith("program."):
                    figure("flood", key, value)
            refused = sorted({v.split()[0] for k, v in flood.items()
                              if k.startswith("send_refused.")})
            figure("flood", "sends the system refused to carry, by number", " ".join(refused))
            self.assertIsNone(program.poll(), f"the program ended in the flood (seed {seed})")
            self.assertEqual(code, 0, f"the flood stopped: the program stopped answering "
                                      f"(seed {seed}): {flood}")
            self.assertEqual(int(flood["unanswered"]), 0, flood)
            self.assertEqual(int(flood["batches_unconfirmed"]), 0, flood)
            self.assertEqual(s.send(h.WM_NULL).get("answered"), "1")
            self.assertEqual(s.boxes(), [], f"the flood brought up a box (seed {seed})")
            after = resources(s)
            for key in ("gdi_table", "user_handles_session", "private_committed"):
                figure("flood", f"{RESOURCE_NAMES[key]} before/after",
                       f"{before[key]} / {after[key]}")

            # Random display changes moved the border bands, random hotkeys switched
            # the controls and the mute: back to the real screen and switched on.
            s.send(WM_DISPLAYCHANGE, 32, makelparam(h.SCREEN_WIDTH, h.SCREEN_HEIGHT))
            image = self.program_tray_image(s)
            figure("flood", "tray image after the flood", image)
            if image.startswith("DI"):
                self.assertEqual(run_probe(s, "hotkeys", h.PROGRAM_CLASS, 1, ATOM_ENABLE)[0], 0)
                self.assertTrue(self.program_tray_image(s).startswith("EN"))

            watch = s.watch()
            self.assertHotkeyShowsKnownVolume(s)
            # The wheel steps at the edges from a pause, and nowhere else.
            self.wait_hidden(s)
            mark = watch.mark()
            s.wheel(h.SCREEN_WIDTH - 1, h.SCREEN_HEIGHT // 2, 1)
            watch.wait_for("visible", 1, after=mark, timeout=3)
            self.volume = 2 * STEP
            s.wait_for_display(self.volume, "ON")
            self.assertWheelIgnored(s, watch, h.SCREEN_WIDTH // 2, h.SCREEN_HEIGHT // 2)
            self.assertWheelSteps(s, watch, 0, h.SCREEN_HEIGHT // 2)
            s.key("ctrl+alt+m")
            s.wait_for_display(self.volume, "Mute")

            # A second copy is still refused with its box, and ends with 0.
            second = s.start_program()
            box = s.wait_for_boxes()[0]
            self.assertEqual((box["title"], box["text"], box["icon"], box["buttons"]),
                             ("Exit", "Sonalto is already running", "warning", "1:OK"))
            self.assertTrue(s.press(box["hwnd"], h.IDOK))
            self.assertEqual(s.wait_exit(second), 0)
            self.assertIsNone(program.poll())
            self.assertEqual(len(s.tray_icons()), 2, "one icon of the program beside the probe's")

            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_forged_hook_messages_change_nothing(self):
        seed = flood_seed()
        with h.Session(h.BIN_DIR, sound=True) as s:
            program = s.start_program_and_wait()
            s.start_desktop()
            watch = s.watch()
            mark = watch.mark()
            # WM_HOOKMOUSE sent and posted, mostly with wParam WM_MOUSEWHEEL, with
            # tickets and addresses of every kind: null, small, the program's own
            # image, random.
            code, forged = run_probe(s, "flood-hook", h.PROGRAM_CLASS, HOOK_FORGERIES, seed)
            figure("forged hook messages", "seed", seed)
            for key in ("count", "sent", "posted", "duration_ms"):
                figure("forged hook messages", key, forged.get(key))
            self.assertIsNone(program.poll(), f"a forged hook message ended the program "
                                              f"(seed {seed})")
            self.assertEqual(code, 0, forged)
            self.assertNotIn(1, [v for t, _, v in watch.events("visible") if t >= mark],
                             f"a forged hook message moved the volume (seed {seed})")
            # The hook's own report of a real turn at the border moves exactly one step.
            s.wheel(h.SCREEN_WIDTH - 1, h.SCREEN_HEIGHT // 2, -1)
            s.wait_for_display(FULL - STEP, "ON")
            time.sleep(QUIET)
            s.wait_for_display(FULL - STEP, "ON")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_the_sound_server_going_away_leaves_a_working_program_that_exits_with_0(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            program = s.start_program_and_wait()
            s.start_desktop()
            s.key("ctrl+alt+Next")
            s.wait_for_display(FULL - STEP, "ON")

            self.assertTrue(s.stop_sound_server())
            h.wait_until(lambda: s.mixer()["devices"] == 0, 10, "the mixer device to go")
            self.wait_hidden(s)
            s.key("ctrl+alt+Next")
            # A control whose calls fail goes inert: 0, an empty bar, "ON". Wine keeps
            # each process's fader and switch in the process's own audio session, so
            # the calls of a program that had its device go on succeeding.
            inert = lambda p: h.display_problems(p, 0, "ON")
            going_on = lambda p: h.display_problems(p, h.filled_width(FULL - 2 * STEP), "ON")
            picture = s.wait_for_picture(lambda p: inert(p) and going_on(p), 3,
                                         "an empty bar or one more step, and ON")
            controls = "inert" if not inert(picture) else "still served by the process's session"
            figure("sound server stopped", "mixer devices for a new process", 0)
            figure("sound server stopped", "the program's controls", controls)
            s.key("ctrl+alt+m")
            if controls == "inert":
                s.wait_for_display(0, "ON")
            else:
                s.wait_for_display(FULL - 2 * STEP, "Mute")
            self.assertEqual(s.send(h.WM_NULL).get("answered"), "1")

            # Exit from the tray menu still ends it, with 0.
            s.open_tray_menu()
            exit_item = [t for t in s.menu_texts("Exit") if t["text"] == "Exit"]
            self.assertEqual(len(exit_item), 1, "the menu shows Exit")
            s.click(*h.centre(exit_item[0]))
            self.assertEqual(s.wait_exit(program), 0)
            h.wait_until(lambda: not s.tray_icons(), 10, "the tray icon to go away")

    def test_each_return_of_the_shell_brings_back_one_icon_with_the_current_image(self):
        # The state before each announcement, the key that makes it, and the image.
        rounds = [(None, "ENMUTEOFF"), ("ctrl+alt+m", "ENMUTEON"), ("shift+Pause", "DIMUTEON"),
                  ("shift+Pause", "ENMUTEON"), ("ctrl+alt+m", "ENMUTEOFF")]
        with h.Session(h.BIN_DIR, sound=True) as s:
            program = s.start_program_and_wait()
            s.start_desktop()
            watch = s.watch()
            self.assertEqual(s.tray_tip(), TIP)
            durations = []
            for number, (key, image) in enumerate(rounds):
                if key:
                    mark = watch.mark()
                    s.key(key)
                    if key == "ctrl+alt+m":
                        watch.wait_for("visible", 1, after=mark)
                    else:
                        time.sleep(QUIET)
                # The announcement comes sent and posted in turn; the program then
                # takes the image from the state, not from an old record.
                started = time.monotonic()
                if number % 2 == 0:
                    self.assertEqual(s.send("TaskbarCreated").get("answered"), "1")
                else:
                    self.assertEqual(s.post("TaskbarCreated").get("posted"), "1")
                self.assertEqual(s.send(h.WM_NULL).get("answered"), "1")
                h.wait_until(lambda: len(s.tray_icons()) == 1, 10, "the icon to come back")
                s.wait_for_tray_image(image)
                durations.append(time.monotonic() - started)
                self.assertEqual(len(s.tray_icons()), 1)
                s.focus_desktop()
            self.assertEqual(s.tray_tip(), TIP)
            figure("shell restarts", "announcements (TaskbarCreated)", len(rounds))
            figure("shell restarts", "icons after each", 1)
            figure("shell restarts", "seconds until the icon was back and judged",
                   " ".join(f"{d:.1f}" for d in durations))
            figure("shell restarts", "tip read from the shell's tooltip window", TIP)
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_display_changes_of_any_size_move_the_border_bands(self):
        width, height = h.SCREEN_WIDTH, h.SCREEN_HEIGHT
        with h.Session(h.BIN_DIR, sound=True) as s:
            program = s.start_program_and_wait()
            s.start_desktop()
            watch = s.watch()

            # 800x600 on the real 1024x768 screen: x = 797 lies in the right band,
            # and everything right of 800 counts as border too.
            s.send(WM_DISPLAYCHANGE, 32, makelparam(800, 600))
            self.assertWheelIgnored(s, watch, 790, 300)
            self.assertWheelSteps(s, watch, 797, 300)
            self.assertWheelSteps(s, watch, 1000, 300)

            # 0x0: ScreenWidth - x < 4 for every x on screen, so all of it is border.
            s.post(WM_DISPLAYCHANGE, 32, 0)
            self.assertWheelSteps(s, watch, width // 2, height // 2)

            # 65535x65535: only the left and top bands are left.
            s.send(WM_DISPLAYCHANGE, 32, 0xFFFFFFFF)
            self.assertWheelIgnored(s, watch, width - 1, height // 2)
            self.assertWheelIgnored(s, watch, width // 2, height - 1)
            self.assertWheelSteps(s, watch, 1, height // 2)
            self.assertWheelSteps(s, watch, width // 2, 1)

            s.send(WM_DISPLAYCHANGE, 32, makelparam(width, height))
            self.assertWheelSteps(s, watch, width - 1, height // 2)
            self.assertWheelIgnored(s, watch, width // 2, height // 2)
            s.key("ctrl+alt+Next")
            s.wait_for_display(self.volume - STEP, "ON")
            figure("display changes", "sizes sent", "800x600, 0x0 (posted), 65535x65535, "
                                                     "1024x768")
            figure("display changes", "wheel turns that stepped / were ignored, as the bands "
                                      "say", f"{self.stepped} / {self.ignored}")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def run_actions(self, s, counts):
        """Volume up and down alternating, mute, on/off and the tray menu, each as
        many times as counts says, driven from probe.exe; returns seconds each."""
        commands = {
            "volume steps": ["hotkeys", h.PROGRAM_CLASS, counts["volume steps"], ATOM_UP,
                             ATOM_DOWN],
            "mute toggles": ["hotkeys", h.PROGRAM_CLASS, counts["mute toggles"], ATOM_MUTE],
            "on/off toggles": ["hotkeys", h.PROGRAM_CLASS, counts["on/off toggles"],
                               ATOM_ENABLE],
            # Right button up on the icon opens the menu; WM_CANCELMODE closes it.
            "menu openings": ["menus", h.PROGRAM_CLASS, counts["menu openings"], WM_TRAYNOTIFY,
                              0, WM_RBUTTONUP],
        }
        seconds = {}
        for name, command in commands.items():
            started = time.monotonic()
            code, answer = run_probe(s, *command)
            seconds[name] = time.monotonic() - started
            self.assertEqual(code, 0, f"{name}: {answer}")
            done = answer.get("closed", answer.get("answered"))
            self.assertEqual(int(done), counts[name], f"{name}: {answer}")
        self.assertEqual(run_probe(s, "drain", h.PROGRAM_CLASS)[0], 0)
        return seconds

    def test_a_long_run_leaks_nothing_and_still_works(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            program = s.start_program_and_wait()
            s.start_desktop()
            self.run_actions(s, WARM_UP)
            before = resources(s)
            seconds = self.run_actions(s, LONG_RUN)
            after = resources(s)
            for name, count in LONG_RUN.items():
                figure("long run", name, f"{count} in {seconds[name]:.1f} s")
            for key, name in RESOURCE_NAMES.items():
                figure("long run", f"{name} before/after", f"{before.get(key)} / {after.get(key)}")
            figure("long run", "allowance", ", ".join(f"{k} +{v}" for k, v in ALLOWANCE.items()))
            self.assertIsNone(program.poll())
            self.assertEqual(s.boxes(), [])
            for key, allowed in ALLOWANCE.items():
                self.assertLessEqual(after[key] - before[key], allowed,
                                     f"{RESOURCE_NAMES[key]} grew from {before[key]} to "
                                     f"{after[key]}")
            # An even number of toggles: switched on and unmuted as at the start.
            self.assertHotkeyShowsKnownVolume(s)
            s.key("ctrl+alt+m")
            s.wait_for_display(STEP, "Mute")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)

    def test_hundreds_of_default_device_changes_on_the_endpoint_leak_nothing(self):
        """On the stand-in for mmdevapi.dll (test_endpoint.py): the default device
        moves to the other one, goes away and comes back, each time bound anew."""
        with h.Session(h.BIN_DIR, sound=False) as s:
            program = s.start_program_on_standin()
            s.start_desktop()
            self.assertEqual(run_probe(s, "endpoint-cycle", REBIND_WARM_UP)[0], 0)
            before = resources(s)
            started = time.monotonic()
            code, answer = run_probe(s, "endpoint-cycle", REBINDS)
            seconds = time.monotonic() - started
            self.assertEqual((code, answer), (0, {"rebinds": str(REBINDS)}))
            after = resources(s)
            figure("rebinds", "default device changes", f"{REBINDS} in {seconds:.1f} s")
            for key, name in RESOURCE_NAMES.items():
                figure("rebinds", f"{name} before/after", f"{before.get(key)} / {after.get(key)}")
            for key, allowed in ALLOWANCE.items():
                self.assertLessEqual(after[key] - before[key], allowed,
                                     f"{RESOURCE_NAMES[key]} grew from {before[key]} to "
                                     f"{after[key]}")
            # Bound to device 0 again, holding only the enumerator and its endpoint.
            state = s.endpoints()
            figure("rebinds", "fake COM objects alive after", state["live"])
            self.assertEqual((state["live"], state["watchers"], state["default"]), (2, 1, 0))
            before_step = state["devices"][0]["volume"]
            s.key("ctrl+alt+Prior")
            h.wait_until(lambda: s.endpoints()["devices"][0]["volume"] == before_step + STEP, 5,
                         "a volume step on the device bound last")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)


def tearDownModule():
    lines = ["==== Reliability figures ===="]
    for section, values in FIGURES.items():
        lines.append(f"[{section}]")
        lines += [f"  {name}: {value}" for name, value in values]
    lines.append("==== end of reliability figures ====")
    text = "\n".join(lines) + "\n"
    print(text, end="")
    with open(os.path.join(os.path.dirname(os.path.abspath(h.BIN_DIR)),
                           "reliability-figures.txt"), "w") as f:
        f.write(text)


if __name__ == "__main__":
    h.main()

"""The mouse wheel at the screen's edges, or anywhere with Shift, turned by real input
over the stand-in desktop; the hook library found beside the program; and hook
messages forged by another process, which must change nothing."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness as h

FULL = 65535     # Wine's fader at start-up
STEP = 500       # one volume step after a pause
PAUSE = 0.85     # s between wheel turns: over 800 ms, so no step grows
QUIET = 0.8      # s given to input that must change nothing
UP, DOWN = 1, -1

WIDTH, HEIGHT = h.SCREEN_WIDTH, h.SCREEN_HEIGHT
MIDDLE = (WIDTH // 2, HEIGHT // 2)
EDGE = (0, 300)  # where the steps that prove the program still works are taken
# The bands: four columns at the left and rows at the top, three at the right and
# bottom, where the distance from the far edge must be less than 4.
BANDS = [((0, 300), DOWN), ((3, 300), DOWN), ((500, 0), UP), ((500, 3), DOWN),
         ((WIDTH - 1, 300), UP), ((WIDTH - 3, 300), DOWN), ((500, HEIGHT - 1), UP),
         ((500, HEIGHT - 3), DOWN)]
# One pixel inside each band.
INSIDE = [(4, 300), (500, 4), (WIDTH - 4, 300), (500, HEIGHT - 4)]

WM_APP = 0x8000
WHEEL_COUNT, LAST_WHEEL = WM_APP, WM_APP + 1  # what the stand-in desktop answers
REPLAY_AT = (400, 437)  # a turn the program passes on, at a position of its own
RECENT_TICKETS = 16     # the first tickets of the hook library, which the probe forges
BESIDE_MIDDLE = (MIDDLE[0] + 10, MIDDLE[1])  # a last turn the desktop tells from MIDDLE's
HOLD_MS = 8000  # how long the program's thread is held: far beyond any hand-off
REST = 6        # s without input: longer than Wine waits before a thread counts as hung
HELD_TURNS = 20  # Shift+wheel turns another program's hook keeps from the program
HELD_PACE = 1.1  # s between them: the turns span longer than the first reinstall waits


def program_threads():
    """The ids of the threads of this build's sonalto.exe, read from its Unix
    process, whose command line Wine starts with the program's path."""
    wanted = os.path.join(h.BIN_DIR, "sonalto.exe").lower()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                path = f.read().split(b"\0")[0].decode(errors="replace").strip('"')
            path = path.replace("\\", "/").lower()
            if path.startswith("z:"):
                path = path[2:]
            if path == wanted:
                return set(os.listdir(f"/proc/{pid}/task"))
        except OSError:
            continue
    raise AssertionError("no Unix process of the program")


def telling_direction(volume):
    """A step direction whose bar tells the step from one step more or one fewer,
    so that a stray extra step, or a missing one, shows in the pixels."""
    for direction in (DOWN, UP):
        target = volume + direction * STEP
        neighbours = [min(FULL, max(0, target + d)) for d in (-STEP, STEP)]
        if 0 <= target <= FULL and all(h.filled_width(n) != h.filled_width(target)
                                       for n in neighbours):
            return direction
    raise AssertionError(f"no step from {volume} shows in the bar")


class WheelTurns:
    """Real wheel turns, paced so that no step grows unless a test wants it."""

    last_turn = 0.0

    def turn(self, s, x, y, direction, shift=False, pause=True):
        """One notch of the real wheel at (x, y), PAUSE s after the previous turn
        unless told otherwise."""
        if pause:
            time.sleep(max(0.0, self.last_turn + PAUSE - time.monotonic()))
        if shift:
            s.xdotool("keydown", "shift")
        s.wheel(x, y, direction)
        if shift:
            s.xdotool("keyup", "shift")
        self.last_turn = time.monotonic()


class WheelTest(WheelTurns, unittest.TestCase):
    def start(self, s):
        self.program = s.start_program_and_wait()
        # Wine reports the pointer only over its own windows: without the full-screen
        # stand-in the hook would see no wheel at all.
        s.start_desktop()
        self.watch = s.watch()
        self.volume = FULL
        self.last_turn = 0.0

    def wheel_messages(self, s, last_at):
        """The WM_MOUSEWHEEL the stand-in desktop has received, once it has received
        the one of the turn at `last_at`: input arrives in order, so every turn
        before that one has arrived too, or never will."""
        packed = (last_at[1] << 16) | last_at[0]
        h.wait_until(lambda: s.send(LAST_WHEEL, class_name=h.DESKTOP_CLASS).get("result") ==
                     str(packed), 5, f"the desktop to receive the turn at {last_at}")
        return int(s.send(WHEEL_COUNT, class_name=h.DESKTOP_CLASS)["result"])

    def send_wheel(self, s, at, *deltas):
        """Turns of exactly these deltas, as a driver sends them, at `at`."""
        s.probe("send-wheel", *at, *deltas)

    def shown_after(self, s, volume):
        """The display shows `volume`, and the watcher has seen it shown."""
        s.wait_for_display(volume, "ON")
        h.wait_until(lambda: self.watch.last("visible") == 1, 5, "the watcher to see the display")

    def step(self, s, x, y, direction, shift=False, what=None):
        """A turn that must move the fader by one step: the display shows the new
        value pixel for pixel."""
        self.turn(s, x, y, direction, shift)
        self.volume += direction * STEP
        try:
            s.wait_for_display(self.volume, "ON")
        except h.HarnessError as error:
            self.fail(f"{what or (x, y)}, {'up' if direction == UP else 'down'}: {error}")
        # The timeline has caught up with the screen, so a later wait for the display
        # to hide cannot be met by a hide from before this step.
        h.wait_until(lambda: self.watch.last("visible") == 1, 5, "the watcher to see the display")

    def still_one_step(self, s, after):
        """The program is alive and still works: a real turn at the edge moves the
        bar by exactly one step. Under Wine a fault inside a window procedure may be
        swallowed, so the process being alive proves nothing by itself."""
        self.assertIsNone(self.program.poll(), f"the program ended after {after}")
        self.step(s, *EDGE, telling_direction(self.volume), what=f"the first step after {after}")

    def assertNothingHappens(self, s, what, action):
        """Runs `action` while the display is hidden and gives it QUIET s: the
        display must stay hidden (any step would show it) and the program alive."""
        h.wait_until(lambda: self.watch.last("visible") == 0, 5, "the display to hide")
        before = self.watch.mark()
        result = action()
        time.sleep(QUIET)
        self.assertEqual(s.send(h.WM_NULL).get("answered"), "1", f"{what}: no answer")
        shown = [t - before for t, _, v in self.watch.events("visible") if v and t >= before]
        self.assertEqual(shown, [], f"{what}: the display showed (ms after the start)")
        self.assertIsNone(self.program.poll(), f"{what}: the program ended")
        return result

    def test_wheel_steps_the_volume_in_the_edge_bands_or_with_shift_only(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            self.start(s)
            self.turn(s, *MIDDLE, DOWN)
            before = self.wheel_messages(s, MIDDLE)
            for (x, y), direction in BANDS:
                self.step(s, x, y, direction)
            self.step(s, *MIDDLE, UP, shift=True, what="Shift held in the middle")

            def off_the_bands():
                for x, y in INSIDE + [MIDDLE]:
                    self.turn(s, x, y, DOWN, pause=False)
                # The horizontal wheel, which Wine reports as WM_MOUSEHWHEEL.
                s.click(*EDGE, button=6)
                s.click(*EDGE, button=7)
            what = "the wheel off the bands and the horizontal wheel"
            self.assertNothingHappens(s, what, off_the_bands)
            # A turn that stepped the volume does not also scroll the window under
            # the pointer; every other turn reaches it.
            self.assertEqual(self.wheel_messages(s, MIDDLE) - before, len(INSIDE) + 1,
                             "wheel messages the desktop received")
            self.still_one_step(s, what)

            # Shift+Pause takes the hook away, and a second Shift+Pause brings it back.
            def disabled():
                s.key("shift+Pause")
                time.sleep(0.5)
                self.turn(s, *EDGE, DOWN, pause=False)
                self.turn(s, *MIDDLE, DOWN, shift=True, pause=False)
            self.assertNothingHappens(s, "the wheel while disabled", disabled)
            s.key("shift+Pause")
            time.sleep(0.5)
            self.still_one_step(s, "enabling again")

    def test_turns_of_any_delta_step_by_whole_notches(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            self.start(s)
            self.send_wheel(s, MIDDLE, -120)
            before = self.wheel_messages(s, MIDDLE)
            # Two notches in one turn are two steps; each a step after a pause.
            self.send_wheel(s, EDGE, -240)
            self.shown_after(s, FULL - 2 * STEP)
            # Four parts of a notch are one step; the display hides first, so the
            # step has shrunk back.
            h.wait_until(lambda: self.watch.last("visible") == 0, 5, "the display to hide")
            self.send_wheel(s, EDGE, -30, -30, -30, -30)
            self.shown_after(s, FULL - 3 * STEP)

            def zero_and_middle():
                self.send_wheel(s, EDGE, 0)
                self.send_wheel(s, BESIDE_MIDDLE, 30, 120, -240)
            self.assertNothingHappens(s, "a turn of 0 at the edge, turns in the middle",
                                      zero_and_middle)
            # Every turn at the edge was swallowed, also those that made no step.
            self.assertEqual(self.wheel_messages(s, BESIDE_MIDDLE) - before, 3,
                             "wheel messages the desktop received")
            # A notch after a rest, the pointer still where it rested, steps like any other.
            self.send_wheel(s, EDGE, 0)
            time.sleep(REST)
            self.send_wheel(s, EDGE, -120)
            self.shown_after(s, FULL - 4 * STEP)

    def test_turn_goes_on_at_once_while_the_program_is_held_and_never_steps_later(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            self.start(s)
            start = self.watch.mark()
            with tempfile.TemporaryFile() as out:
                held = s.wine_process(["probe.exe", "suspend", h.PROGRAM_CLASS, str(HOLD_MS)],
                                      stdout=out)

                def output():
                    out.seek(0)
                    return out.read().decode(errors="replace")
                h.wait_until(lambda: "suspended=1" in output(), 20, "the program to be held")
                self.send_wheel(s, EDGE, -120)
                self.wheel_messages(s, EDGE)
                self.assertNotIn("resumed=1", output(),
                                 "the turn reached the desktop only once the program went on")
                self.assertEqual(s.wait_exit(held, timeout=HOLD_MS / 1000 + 20), 0)
            time.sleep(QUIET)
            self.assertEqual(s.send(h.WM_NULL).get("answered"), "1", "no answer after the hold")
            shown = [t - start for t, _, v in self.watch.events("visible") if v and t >= start]
            self.assertEqual(shown, [], "a late step showed the display (ms after the start)")
            self.still_one_step(s, "the program held")

    def replay_live_record(self, s):
        """The sharpest forgeries: the very address of a real record, replayed while
        that record is still live in the hook library's thread, and the tickets the
        library has handed out, that of this turn among them. The probe's own hook,
        installed before the program's, runs after it for a turn the program passes
        on, and forges from there. Found by the program's own state, not by what is
        left in its memory afterwards, so it holds under any load."""
        with tempfile.TemporaryFile() as out:
            replay = s.wine_process(["probe.exe", "replay-hook", h.PROGRAM_CLASS,
                                     *map(str, REPLAY_AT)],
                                    stdout=out)

            def output():
                out.seek(0)
                return out.read().decode(errors="replace")
            h.wait_until(lambda: "ready=1" in output(), 20, "the probe's hook")
            self.start(s)
            self.assertNothingHappens(s, "the live record's address replayed",
                                      lambda: self.turn(s, *REPLAY_AT, DOWN, pause=False))
            self.assertEqual(s.wait_exit(replay), 0)
            forged = [r for r in h.parse_records(output()) if r.get("record") == "forged"]
        tickets = [r for r in forged if int(r["address"], 16) <= RECENT_TICKETS]
        addresses = [r for r in forged if r not in tickets]
        self.assertTrue(addresses, "the live record is nowhere in the program's memory")
        self.assertEqual(len(tickets), RECENT_TICKETS)
        for record in forged:
            self.assertEqual((record["answered"], record["posted"]), ("1", "1"), record)
        for record in addresses:
            self.assertEqual(record["planted"], "24", record)
        self.still_one_step(s, "the live record's address replayed")

    def test_hook_messages_forged_by_another_process_change_nothing(self):
        with h.Session(h.BIN_DIR, sound=True) as s:
            self.replay_live_record(s)
            # Each forgery holds, where it can, a record of a forward turn at the left
            # edge, and is both sent and posted. The fader stays below its top, so
            # that a forgery acted on would move it and show the display.
            forgeries = {
                "a record in memory allocated in the program": ["heap"],
                "a record on the program's stack": ["stack"],
                "malformed addresses": ["0", "0x10", "0xFFFFFFF0", "unmapped", "misaligned",
                                        "straddling"],
                "the tickets the hook library has handed out": ["1", "2", "3", "4", "5", "6"],
            }
            for what, targets in forgeries.items():
                sent = self.assertNothingHappens(
                    s, what, lambda: s.probe("forge-hook", h.PROGRAM_CLASS, *targets))
                sent = [r for r in sent if r.get("record") == "forged"]
                self.assertEqual(len(sent), len(targets), what)
                for record in sent:
                    self.assertEqual((record["answered"], record["posted"]), ("1", "1"), record)
                    if record["target"] not in ("0x10", "0xFFFFFFF0", "unmapped") and \
                            not record["target"].isdigit():
                        self.assertNotEqual(record["planted"], "0", record)
                self.still_one_step(s, what)

    @unittest.skipIf(h.SLOWNESS > 1, "under software emulation its last step, after the "
                     "other hook is gone, showed no display once; cause not known yet, so "
                     "it is judged under native Wine only")
    def test_a_later_hook_that_keeps_the_wheel_keeps_it(self):
        """A program that hands the mouse to another computer installs its hook after
        Sonalto's and keeps every turn: Shift+wheel meant for the other computer must
        not change the volume here, however long it goes on, and Sonalto must not put
        a hook of its own in front (a new hook would come with a new thread)."""
        with h.Session(h.BIN_DIR, sound=True) as s:
            self.start(s)
            # A first step starts what the program starts lazily (winmm's thread).
            self.still_one_step(s, "the start")
            threads = program_threads()
            h.wait_until(lambda: self.watch.last("visible") == 0, 5, "the display to hide")
            # Long enough for the turns and the quiet after them on a loaded machine.
            span_ms = int((HELD_TURNS * HELD_PACE + 15) * 1000)
            with tempfile.TemporaryFile() as out:
                held = s.wine_process(["probe.exe", "hold-wheel", str(span_ms)], stdout=out)

                def output():
                    out.seek(0)
                    return out.read().decode(errors="replace")
                h.wait_until(lambda: "ready=1" in output(), 20, "the other program's hook")
                start = time.monotonic()

                def held_turns():
                    for _ in range(HELD_TURNS):
                        time.sleep(max(0.0, self.last_turn + HELD_PACE - time.monotonic()))
                        self.turn(s, *MIDDLE, DOWN, shift=True, pause=False)
                self.assertNothingHappens(s, "Shift+wheel kept by another program's hook",
                                          held_turns)
                self.assertGreaterEqual(time.monotonic() - start, 20)
                self.assertEqual(program_threads(), threads, "threads of the program")
                self.assertEqual(s.wait_exit(held, timeout=span_ms / 1000 + 20), 0)
                swallowed = h.parse_records(output())[-1]
            self.assertEqual(swallowed.get("swallowed"), str(HELD_TURNS), swallowed)
            self.still_one_step(s, "the other program's hook is gone")

    def test_program_loads_the_hook_library_from_its_own_folder(self):
        with h.Session(h.BIN_DIR, sound=False) as s:
            folder, elsewhere = tempfile.mkdtemp(), tempfile.mkdtemp()
            try:
                program = os.path.join(folder, "sonalto.exe")
                shutil.copy(os.path.join(h.BIN_DIR, "sonalto.exe"), program)
                # Started from another folder, so that the library is not found in
                # the current one either.
                with tempfile.TemporaryFile() as log:
                    copy = subprocess.Popen(["wine", program], cwd=elsewhere, stdout=log,
                                            stderr=log, env=dict(s.env, WINEDEBUG="err+module"))
                    try:
                        code = copy.wait(timeout=20)
                    except subprocess.TimeoutExpired:
                        copy.kill()
                        copy.wait()
                        self.fail("runs without morvask.dll")
                    log.seek(0)
                    report = log.read().decode(errors="replace")
                self.assertNotEqual(code, 0, "started without morvask.dll")
                self.assertRegex(report, r"Library morvask\.dll .* not found")
                self.assertIsNone(s.window(), "a window without morvask.dll")

                shutil.copy(os.path.join(h.BIN_DIR, "morvask.dll"), folder)
                # wine_process joins an absolute path as it is.
                started = s.wine_process([program], cwd=elsewhere)
                s.wait_for_window()
                s.send(h.WM_CLOSE)
                self.assertEqual(s.wait_exit(started), 0)
            finally:
                shutil.rmtree(folder, ignore_errors=True)
                shutil.rmtree(elsewhere, ignore_errors=True)


if __name__ == "__main__":
    h.main()

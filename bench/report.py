#!/usr/bin/env python3
"""Writes bench/RESULTS.md (to standard output) from what bench/run.sh collected.

    report.py OUTPUT_FOLDER STARTS IDLE_SECONDS

OUTPUT_FOLDER holds inprocess.txt and launch.txt, whose lines read
"row KEY MIN MEDIAN UNIT" or "info KEY VALUE", and machine.txt ("KEY VALUE").
"""

import os
import sys

GOAL_SIZE = 60 * 1024
GOAL_IDLE_MS = 20.0
GOAL_EXTRA_WAKEUPS = 1
BUSY_MARGIN_MS = 5.0
GOAL_FRAME_MS = 1000 / 60


def read_results(folder):
    rows, info = {}, {}
    for name in ("inprocess.txt", "launch.txt"):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            continue
        with open(path) as lines:
            for line in lines:
                parts = line.split()
                if len(parts) == 5 and parts[0] == "row":
                    rows[parts[1]] = (float(parts[2]), float(parts[3]), parts[4])
                elif len(parts) >= 3 and parts[0] == "info":
                    info[parts[1]] = " ".join(parts[2:])
    machine = {}
    with open(os.path.join(folder, "machine.txt")) as lines:
        for line in lines:
            key, _, value = line.rstrip("\n").partition(" ")
            machine[key] = value
    return rows, info, machine


def number(value, unit=""):
    if value is None:
        return "n/a"
    unit = "µs" if unit == "us" else unit
    if abs(value) >= 100:
        text = f"{value:,.0f}"
    elif abs(value) >= 10:
        text = f"{value:.1f}"
    else:
        text = f"{value:.2f}"
    return f"{text} {unit}".strip()


def pair(row):
    if row is None:
        return "n/a"
    low, median, unit = row
    return f"{number(low, unit)} / {number(median, unit)}"


def ratio(program, baseline, index=1):
    if program is None or baseline is None or baseline[index] == 0:
        return None
    return program[index] / baseline[index]


def ratio_text(program, baseline):
    median, low = ratio(program, baseline), ratio(program, baseline, 0)
    if median is None:
        return "n/a"
    return f"{median:.2f}x (min {low:.2f}x)"


def count(value):
    return "n/a" if value is None else f"{value:,.0f}"


def verdict(condition):
    if condition is None:
        return "n/a"
    return "**yes**" if condition else "**no**"


def main():
    folder, starts, idle_seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rows, info, machine = read_results(folder)
    row = rows.get

    def judged(key, goal):
        value = ratio(row(f"{key}.program"), row(f"{key}.baseline"))
        return None if value is None else value <= goal

    def within(measured, goal_us):
        return None if measured is None or goal_us is None else measured[1] <= goal_us

    busy_bound = float(info["wheel_busy.bound_ms"]) if "wheel_busy.bound_ms" in info else None
    busy_goal_us = None if busy_bound is None else (busy_bound + BUSY_MARGIN_MS) * 1000
    size = int(machine.get("size.sonalto.exe", 0)) + int(machine.get("size.morvask.dll", 0))
    idle = row("idle_cpu.program")
    wakeups = median(rows, "idle_wakeups.program")
    bare_wakeups = median(rows, "idle_wakeups.baseline")
    repaint_time = ratio(row("repaint.program"), row("repaint.baseline"))
    moves = float(info["move_wakeups.moves"]) if "move_wakeups.moves" in info else None
    repaint_pixels = ratio(row("repaint_pixels.program"), row("repaint_pixels.baseline"))

    out = []
    say = out.append
    say("# Benchmarks")
    say("")
    say("Sonalto's hot paths, start-up, size, memory and idle cost, each measured side by side")
    say("with a baseline in the same run, under Wine on a virtual display with a PulseAudio-backed")
    say("mixer. Written by `bench/run.sh` (do not edit by hand; run it again). Times are the")
    say("minimum and the median of repeated measurements; ratios are program over baseline,")
    say("median over median (minimum over minimum in brackets), and a goal is judged on the")
    say("median ratio.")
    say("")
    say("| Measurement | Program min / median | Baseline min / median | Ratio | Goal | Met? |")
    say("|---|---|---|---|---|---|")
    say(f"| Non-wheel mouse event through the hook thread | {pair(row('mouse_move.program'))} "
        f"| {pair(row('mouse_move.baseline'))} | "
        f"{ratio_text(row('mouse_move.program'), row('mouse_move.baseline'))} | ≤ 1.25x "
        f"| {verdict(judged('mouse_move', 1.25))} |")
    say(f"| Wheel turn at the border, time the mouse is held | {pair(row('wheel_hold.program'))} "
        f"| {pair(row('wheel_hold.baseline'))} | "
        f"{ratio_text(row('wheel_hold.program'), row('wheel_hold.baseline'))} | ≤ 1.25x "
        f"| {verdict(judged('wheel_hold', 1.25))} |")
    say(f"| Notch at the border while the program's thread is busy for 1 s, time the mouse "
        f"is held | {pair(row('wheel_busy.program'))} | bound {number(busy_bound, 'ms')} | "
        f"| ≤ bound + {BUSY_MARGIN_MS:.0f} ms | {verdict(within(row('wheel_busy.program'), busy_goal_us))} |")
    say(f"| Notch at the border to the display's changed pixels | "
        f"{pair(row('notch_pixels.program'))} | | | ≤ {GOAL_FRAME_MS:.1f} ms "
        f"| {verdict(within(row('notch_pixels.program'), GOAL_FRAME_MS * 1000))} |")
    say(f"| Wheel step at the border | {pair(row('wheel_step.program'))} "
        f"| {pair(row('wheel_step.baseline'))} | "
        f"{ratio_text(row('wheel_step.program'), row('wheel_step.baseline'))} | ≤ 1.5x "
        f"| {verdict(judged('wheel_step', 1.5))} |")
    say(f"| Repaint after a volume step, time | {pair(row('repaint.program'))} "
        f"| {pair(row('repaint.baseline'))} | "
        f"{ratio_text(row('repaint.program'), row('repaint.baseline'))} | ≤ 0.25x "
        f"| {verdict(None if repaint_time is None else repaint_time <= 0.25)} |")
    say(f"| Repaint after a volume step, pixels | {pair(row('repaint_pixels.program'))} "
        f"| {pair(row('repaint_pixels.baseline'))} | "
        f"{ratio_text(row('repaint_pixels.program'), row('repaint_pixels.baseline'))} | ≤ 0.25x "
        f"| {verdict(None if repaint_pixels is None else repaint_pixels <= 0.25)} |")
    say(f"| Start-up to the tray icon | {pair(row('startup.program'))} "
        f"| {pair(row('startup.baseline'))} | "
        f"{ratio_text(row('startup.program'), row('startup.baseline'))} | ≤ 1.25x "
        f"| {verdict(judged('startup', 1.25))} |")
    say(f"| Size of sonalto.exe + morvask.dll | {size:,} bytes ({size / 1024:.1f} KiB) | | "
        f"| ≤ {GOAL_SIZE // 1024} KiB | {verdict(size <= GOAL_SIZE if size else None)} |")
    say(f"| Private bytes after start | {pair(row('private.program'))} "
        f"| {pair(row('private.baseline'))} | "
        f"{ratio_text(row('private.program'), row('private.baseline'))} | ≤ 1.25x "
        f"| {verdict(judged('private', 1.25))} |")
    say(f"| CPU time while idle for {idle_seconds} s | {number(idle[1] if idle else None, 'ms')} "
        f"| {number(row('idle_cpu.baseline')[1] if row('idle_cpu.baseline') else None, 'ms')} "
        f"(not a goal) | | < 20 ms "
        f"| {verdict(None if idle is None else idle[1] < GOAL_IDLE_MS)} |")
    say(f"| Wakeups while at rest for {idle_seconds} s (context switches of all threads) "
        f"| {count(wakeups)} | {count(bare_wakeups)} | "
        f"| ≤ {GOAL_EXTRA_WAKEUPS} more than the bare program "
        f"| {verdict(wakeups_ok(rows))} |")
    say(f"| Context switches of all threads per {count(moves)} mouse moves "
        f"| {pair(row('move_wakeups.program'))} | {pair(row('move_wakeups.baseline'))} | "
        f"{ratio_text(row('move_wakeups.program'), row('move_wakeups.baseline'))} | ≤ 1.05x "
        f"| {verdict(judged('move_wakeups', 1.05))} |")
    say("")

    say("## What is measured")
    say("")
    say("- **Non-wheel mouse event**: the program started in-process by `StartApplication()`")
    say("  (the library `sonalto_core` that ships, its real window and mixer, and morvask.dll's")
    say("  hook on its own thread); a bench thread moves the pointer by one pixel back and forth")
    say("  with `SendInput` at (500, 400), in batches of 50, while the program's thread runs its")
    say("  loop. Under Wine `SendInput` returns only once the low-level hooks have run (a probe")
    say(f"  hook that sleeps {info.get('sendinput.slow_hook_ms', '?')} ms makes it take "
        f"{info.get('sendinput.with_slow_hook_ms', '?')} ms), so its time is the time the")
    say("  mouse is held. Baseline: the same moves with the program's hook removed (`FreeHook`)")
    say("  and a hook that only calls `CallNextHookEx` on a bench thread of its own.")
    say("- **Time the mouse is held by a wheel turn**: a forward notch injected with `SendInput`")
    say("  at (0, 300), in batches of 50, through the library's real hand-off to the program's")
    say("  thread (real `ClaimHookRecord`/`AnswerHookRecord`); the steps it posts are dropped")
    say("  unhandled, as only the hold is timed. Baseline, its floor: the program's hook removed,")
    say("  a bench hook on a thread of its own that makes one `SendMessageTimeout` with the same")
    say("  bound to a window of another thread that answers at once, the border test and one")
    say("  PostMessage, and swallows the notch.")
    say("- **Notch while the program's thread is busy**: the program's thread is made to sleep")
    say("  1 s (a posted message); 20 ms into it, 8 notches at (0, 300) are injected one by one")
    say("  and each `SendInput` timed; 5 such seconds. The goal is the library's bound on a")
    say("  hand-off plus 5 ms.")
    say("- **Notch to pixels**: `bench_launch.exe` starts the real `sonalto.exe`, puts the")
    say("  pointer at (0, 300), shows the display with one notch, then injects notches with")
    say("  `SendInput` and copies the display's area of the screen (`BitBlt` into a DIB section)")
    say("  until the copy differs from the one before the notch; forward and back in turn,")
    say("  100 ms apart, 60 notches.")
    say("- **Wheel step**: a WM_MOUSEWHEEL record at (0, 300) sent as WM_HOOKMOUSE, forward and")
    say("  back in turn, with the display shown, in batches of 20: the hook message, then the")
    say("  posted step dispatched at once, the volume")
    say("  action, the real mixer reads and writes and the bar's repaint. The hook library vouches")
    say("  only for turns its own hook waits on, so the bench replaces the `__imp__ClaimHookRecord`")
    say("  and `__imp__AnswerHookRecord` import slots with its own check of the ticket it is")
    say("  sending (no hook thread in this row). Baseline: the same mixer calls alone (every read and write the step makes,")
    say("  made directly through the program's `TnsMixerControl`) and the bar alone repainted in")
    say("  a window of the bench that paints nothing else.")
    say("- **Repaint after a volume step**: `ShowDisplay(CHANGE_VOLUME)` on the shown display,")
    say("  against `ShowDisplay(CHANGE_MUTE)`, the whole display; batches of 50. Pixels: the area")
    say("  of the update region (`GetUpdateRgn`, `GetRegionData`) as the paint receives it.")
    say("- **Start-up**: `bench_launch.exe` notes the time, creates the process and polls (every")
    say("  millisecond) for one more icon window in Wine's tray; the icon window is made while")
    say("  `NIM_ADD` is handled. Baseline: `bench_minimal_hook.exe`, one hidden popup window,")
    say("  one tray icon, the speakers' fader and mute switch each bound on a mixer handle of its")
    say("  own, and, once the icon is added (where the program starts its own), a low-level mouse")
    say("  hook that only calls `CallNextHookEx`, on a thread of its own that runs a `GetMessage`")
    say(f"  loop; built with the program's flags. {starts} starts of each, in turn, after 2 warm-up")
    say("  starts each; every start is closed with WM_CLOSE before the next.")
    say("- **Private bytes**: read from outside with `GetProcessMemoryInfo` 1 s after each of the")
    say(f"  same starts (counter used: {info.get('private.source', 'n/a')}; see the notes), against")
    say("  the same baseline: the program's hook has a thread of its own by design, and so has the")
    say("  baseline's.")
    say("- **Idle CPU and wakeups at rest**: the program, `bench_minimal.exe` (the same minimal")
    say("  program without the hook: the bare program of the rest row), `bench_minimal_read.exe`")
    say("  and `bench_minimal_hook.exe` (see the notes) started together, left alone")
    say(f"  {IDLE_SETTLE_S} s, then their CPU time and the context switches of all their threads")
    say(f"  taken before and after {idle_seconds} s with the display hidden and no input, from the")
    say("  Unix side (see the notes).")
    say("- **Context switches per mouse move**: the program and `bench_minimal_hook.exe` started")
    say("  together and left alone 3 s; then batches of mouse moves injected with `SendInput`")
    say("  (one pixel back and forth, away from the borders), and the context switches of all")
    say("  threads of each taken from the Unix side before and after each batch (7 batches).")
    say("  Every move runs both hooks once; a watcher of the raw input would add its own wakes.")
    say("")

    say("## Where the time goes")
    say("")
    say("| Part | min / median | What |")
    say("|---|---|---|")
    for key, what in PARTS:
        if key in rows:
            say(f"| `{key}` | {pair(row(key))} | {what} |")
    say("")
    say("Mixer calls counted through the winmm import slots during one action of the program")
    say("(change notifications: MM_MIXM_CONTROL_CHANGE messages queued by the action):")
    say("")
    say("| Action | Mixer calls |")
    say("|---|---|")
    for key, what in CALLS:
        if f"calls.{key}" in info:
            say(f"| {what} | {calls(info, key)} |")
    say("")

    say("## Machine")
    say("")
    say(f"- CPU: {machine.get('cpu', 'n/a')}, {machine.get('cores', '?')} cores, "
        f"{machine.get('memory', '?')} memory")
    say(f"- {machine.get('os', 'n/a')}, {machine.get('kernel', 'n/a')}")
    say(f"- Wine: {machine.get('wine', 'n/a')}, Xvfb 1024x768x24, PulseAudio null sink")
    say(f"- Compiler: {machine.get('compiler', 'n/a')}")
    say(f"- Date: {machine.get('date', 'n/a')}; load average before / after the run: "
        f"{machine.get('load.before', 'n/a')} / {machine.get('load.after', 'n/a')}")
    say("")

    say("## How to run")
    say("")
    say("    bench/run.sh")
    say("")
    say("As root on Debian 12 it installs what it needs (as `scripts/run.sh` does), builds the")
    say("program and the benchmark programs (`bench_inprocess`, `bench_minimal`,")
    say("`bench_minimal_read`, `bench_minimal_hook`, `bench_launch`) into `$SONALTO_BUILD`")
    say("(default `build/`), starts its own Xvfb, PulseAudio and wineserver, runs everything")
    say("(about three minutes), stops")
    say("what it started and rewrites this file. `BENCH_STARTS` (default 15) and")
    say("`BENCH_IDLE_SECONDS` (default 30) change the number of starts and the idle time. The")
    say("benchmarks are built with the project (`-DSONALTO_BENCH=OFF` leaves them out) but are")
    say("never run by ctest or CI. Raw output: `$SONALTO_BUILD/bench-output/`.")
    say("")

    say("## Notes")
    say("")
    for paragraph in notes(rows, info, machine, idle_seconds):
        say(paragraph)
        say("")
    sys.stdout.write("\n".join(out).rstrip("\n") + "\n")


IDLE_SETTLE_S = 3

PARTS = [
    ("part.step_forward", "one forward wheel step of the program, timed alone (it also unmutes)"),
    ("part.step_back", "one backward wheel step of the program, timed alone"),
    ("part.wheel_step_raw.program", "wheel step of the program, in the round of the next row"),
    ("part.wheel_step_raw.baseline",
     "the least any step needs: one raw winmm read and one raw write of the fader, the bar alone"),
    ("part.wheel_step_fader.program", "wheel step of the program, in the round of the next row"),
    ("part.wheel_step_fader.baseline",
     "the fader alone read and written through `TnsMixerControl`, and the bar alone"),
    ("part.mixer_read", "one raw `mixerGetControlDetailsA` of the fader"),
    ("part.mixer_write", "one raw `mixerSetControlDetails` of the fader"),
    ("part.control_get", "`TnsMixerControl::GetValue` (one read)"),
    ("part.control_set", "`TnsMixerControl::SetValue` (a read, then a write)"),
    ("part.cross_thread_send",
     "a bare SendMessage to a window of another thread of the same process"),
    ("part.bar_paint_alone", "the bench's bar-only window: bar invalidated, WM_PAINT sent"),
    ("part.bar_paint_after_pause",
     "the same paint in another phase, each batch right after the thread slept 300 ms"),
    ("part.program_bar_paint",
     "the program's window: `BarRect` invalidated, WM_PAINT sent (the paint reads the mixer twice)"),
    ("part.platform_paint.program", "the bench's bar-only window, bar region repainted"),
    ("part.platform_paint.baseline", "the same window repainted whole (9,000 pixels)"),
    ("part.repaint_without_mixer.program",
     "`ShowDisplay(CHANGE_VOLUME)` with both mixer objects not ready: no mixer read"),
    ("part.repaint_without_mixer.baseline", "`ShowDisplay(CHANGE_MUTE)`, likewise"),
    ("part.notification", "the program's handling of one MM_MIXM_CONTROL_CHANGE"),
]

CALLS = [
    ("mouse_move", "non-wheel mouse event"),
    ("step_forward", "forward wheel step"),
    ("step_back", "backward wheel step"),
    ("repaint_volume", "`ShowDisplay(CHANGE_VOLUME)`"),
    ("repaint_mute", "`ShowDisplay(CHANGE_MUTE)`"),
]


def calls(info, key):
    """"6-reads-2-writes-0-notifications" as "6 reads, 2 writes, no notification"."""
    parts = info.get(f"calls.{key}", "").split("-")
    if len(parts) != 6:
        return "n/a"
    words = []
    for count, noun in ((parts[0], "read"), (parts[2], "write"), (parts[4], "change notification")):
        count = int(count)
        words.append(f"no {noun}" if count == 0 else f"{count} {noun}{'' if count == 1 else 's'}")
    return ", ".join(words)


def whole(value):
    return "?" if value is None else f"{float(value):.0f}"


def within_busy(rows, info):
    if "wheel_busy.program" not in rows or "wheel_busy.bound_ms" not in info:
        return False
    return rows["wheel_busy.program"][1] <= (float(info["wheel_busy.bound_ms"]) + BUSY_MARGIN_MS) * 1000


def median(rows, key):
    return rows[key][1] if key in rows else None


def notes(rows, info, machine, idle_seconds):
    def m(key):
        return median(rows, key)

    def us(value):
        return number(value, "µs")

    def times(a, b):
        return "n/a" if a is None or b is None or b == 0 else f"{a / b:.2f}x"

    def status(key, goal):
        value = ratio(rows.get(f"{key}.program"), rows.get(f"{key}.baseline"))
        return "n/a" if value is None else "met" if value <= goal else "missed"

    def milliseconds(key):
        return number(float(info[key]), "ms") if key in info else "n/a"

    text = []
    read, write = m("part.mixer_read"), m("part.mixer_write")
    send = m("part.cross_thread_send")
    fader, fader_program = m("part.wheel_step_fader.baseline"), m(
        "part.wheel_step_fader.program")
    text.append(
        f"**Wheel step: {status('wheel_step', 1.5)}. Nearly all of a step is mixer calls, and "
        "under Wine each costs as much as a cross-thread SendMessage.** Counted above, a forward "
        f"step makes {calls(info, 'step_forward')} and a backward step "
        f"{calls(info, 'step_back')}. Under Wine 8 a mixer read costs {us(read)} and a write "
        f"{us(write)} (medians): Wine's winmm hands every mixer call to a device thread of its "
        f"own, and a bare cross-thread SendMessage costs {us(send)} here. Against the same mixer "
        "calls made directly plus the bar alone (the goal's baseline), the program's own work "
        "(the hook message, the step logic, the whole paint procedure) adds little. Against the "
        f"fader's read and write alone plus the bar ({us(fader)} against {us(fader_program)}, "
        f"{times(fader_program, fader)}) the step costs more because of calls the behaviour "
        "requires: `SetValue` reads before it writes, `VolumeUp` writes the mute switch on every "
        "call, and every paint reads the fader and the mute switch. One read is the program's own "
        "choice: `VolumeUp` reads the mute switch before unmuting, so that an unmute repaints the "
        "whole display instead of leaving it reading \"Mute\". On Windows the mixer calls do not "
        "go through Wine's device thread; what they cost there was not measured.")

    rv, rm = m("part.repaint_without_mixer.program"), m("part.repaint_without_mixer.baseline")
    pv, pw = m("part.platform_paint.program"), m("part.platform_paint.baseline")
    text.append(
        "**Repaint after a volume step: the pixels are met, the time is not.** The update region "
        f"of a volume step is the bar, {number(m('repaint_pixels.program'))} pixels against "
        f"{number(m('repaint_pixels.baseline'))} for the whole display, and the paint's clipping "
        "keeps the rest untouched. In time both repaints cost about the same. Each paint reads "
        f"the mixer ({calls(info, 'repaint_volume')}), as the paint procedure must: "
        "two cross-thread sends under Wine. What is left is a fixed cost of any paint under "
        "Wine: with both mixer objects made not ready (no mixer read at all) the bar repaint "
        f"takes {us(rv)} and the whole repaint {us(rm)} ({times(rv, rm)}), and a window of the "
        f"bench that paints nothing but the bar takes {us(pv)} for its bar and {us(pw)} "
        "repainted whole (each pair in the same rounds). Invalidating, sending WM_PAINT, "
        "BeginPaint with its update region and erase, and EndPaint cost the same whatever the "
        "area; filling 7,900 more pixels is lost in the noise. A time ratio of 0.25x is out of "
        "reach for any synchronous repaint of this window under Wine. A bar-only repaint could "
        "skip the mute read and the two texts, which its clipping throws away anyway: that "
        "would save about one mixer read, leave the ratio far above 0.25x, and depart from the "
        "required paint procedure, which reads both controls on every paint; not done.")

    hold, floor = m("wheel_hold.program"), m("wheel_hold.baseline")
    text.append(
        f"**Time the mouse is held by a wheel turn: {status('wheel_hold', 1.25)}.** The hook "
        "thread hands the notch to the program's thread with one bounded send; there "
        "`HandleHookMouse` claims the record, tests the border, answers that the notch is "
        "swallowed and posts the step to `MainWindow`. The "
        f"mouse waits {us(hold)} for it, against {us(floor)} for the floor "
        f"({times(hold, floor)}); the step itself, {us(m('wheel_step.program'))}, runs after "
        "the hook has returned.")

    moved, passed = m("mouse_move.program"), m("mouse_move.baseline")
    text.append(
        f"**Non-wheel mouse event: {status('mouse_move', 1.25)}.** A move, a button or a "
        "horizontal wheel is counted by the library's hook and passed on at once on its own "
        f"thread: {us(moved)} against {us(passed)} for a bare pass-on hook "
        f"({times(moved, passed)}). The program's thread is not involved (no mixer call: "
        f"{calls(info, 'mouse_move')}); almost all of the time is Wine's delivery of an injected "
        "event to a low-level hook. Each event also wakes the library's watching thread, which "
        "takes the mouse's raw input and asks the wineserver for each report to count the wheel "
        "turns alone; it is not on the hook's path, but under Wine its requests queue with "
        "the event's own at the one wineserver, and on 2 shared cores it competes with the "
        "delivery. The baseline's batches have neither thread (`FreeHook` ends both).")

    text.append(
        f"**Notch while the program's thread is busy: "
        f"{'met' if within_busy(rows, info) else 'missed'}.** The hand-off waits its bound, "
        f"{whole(info.get('wheel_busy.bound_ms'))} ms, then lets the notch go on to the window "
        f"beneath: {us(m('wheel_busy.program'))}. Steps posted for these notches once the "
        f"thread woke: {whole(info.get('wheel_busy.late_steps'))} (the library no longer waited "
        "on them, so the program does not act on them).")

    text.append(
        f"**Notch to pixels: "
        f"{'n/a' if m('notch_pixels.program') is None else 'met' if m('notch_pixels.program') <= GOAL_FRAME_MS * 1000 else 'missed'}.** "
        f"From `SendInput` to the first changed pixel of the display: {us(m('notch_pixels.program'))} "
        f"(minimum {us(rows['notch_pixels.program'][0] if 'notch_pixels.program' in rows else None)}), "
        f"over {whole(info.get('notch_pixels.samples'))} notches "
        f"({whole(info.get('notch_pixels.missed'))} without a change within 1 s); Xvfb shows a pixel as soon as "
        "it is drawn, so a real screen adds up to one refresh.")

    text.append(
        f"**Start-up: {status('startup', 1.25)}.** To the tray icon both programs need about the "
        "same time: Wine's process creation, its DLL loading and the round trip to explorer's "
        "tray, not the program's own start-up. Both start their hook thread once the icon is "
        "added, so the hook is not in this row. Start-up times under Wine vary much from one "
        "start to the next on a loaded machine (compare minimum and median). A Wine process "
        "also takes about 2 s to end after WM_CLOSE (outside the measurement), which is why the "
        "starts take a while.")

    text.append(
        f"**Private bytes: {status('private', 1.25)}.** Wine leaves `PrivateUsage` at 0 for "
        "another process; its `PagefileUsage` is what Wine can report: the Unix process's "
        "private resident memory (RssAnon plus swap), the nearest it has to private bytes. Most "
        "of it is Wine's own, and each thread of a Wine process costs about 1 MB of it, "
        "whatever the thread does; a thread's stack reservation, untouched, is not resident and "
        "does not show. The wheel hook runs on a thread of its own, so that the mouse never "
        "waits for the program's thread, and so does the baseline's pass-on hook. Nearly all "
        "of the difference left is two more threads: the program reads the mute switch at "
        "start-up to choose its tray image, and Wine's winmm starts its device thread at the "
        "first mixer read, while the baseline never reads; and the hook library watches the "
        "mouse's raw input, the sign that the hook is gone, on a thread of its own, because "
        "raw input taken on the hook's thread delayed the hook's calls. Measured together "
        "while idle, "
        f"the program had {kib(info.get('idle_private_kib.program'))} "
        f"({whole(info.get('idle_cpu.program.unix_threads'))} threads), the baseline "
        f"{kib(info.get('idle_private_kib.baseline_hook'))} "
        f"({whole(info.get('idle_cpu.baseline_hook.unix_threads'))} threads), the bare minimal "
        f"program without the hook {kib(info.get('idle_private_kib.baseline'))} "
        f"({whole(info.get('idle_cpu.baseline.unix_threads'))} threads), and "
        "`bench_minimal_read.exe`, the bare one plus one read of the mute switch, "
        f"{kib(info.get('idle_private_kib.baseline_read'))} "
        f"({whole(info.get('idle_cpu.baseline_read.unix_threads'))} threads).")

    idle = m("idle_cpu.program")
    idle_status = "n/a" if idle is None else "met" if idle < GOAL_IDLE_MS else "missed"
    text.append(
        f"**Idle CPU: {idle_status}.** One window of {idle_seconds} s, measured from the Unix "
        "side: the on-CPU nanoseconds of all threads of the program's Unix process "
        "(`/proc/PID/task/*/schedstat`), read through Wine's drive Z: by `bench_launch.exe`. "
        "Wine gives no usable times of another process: `GetProcessTimes` leaves out its user "
        f"time (here it moved by {milliseconds('idle_cpu.program.process_times_ms')}) and "
        "`GetThreadTimes` counts in whole 10 ms ticks (here "
        f"{milliseconds('idle_cpu.program.thread_times_ms')}). At rest the program runs no "
        "timer: the hide timer ticks only while the display is shown, and the hook's watchdog "
        "wakes only for mouse input. The baseline has no timer either "
        f"({number(m('idle_cpu.baseline'), 'ms')}).")

    rest = wakeups_ok(rows)
    text.append(
        f"**Wakeups at rest: {'n/a' if rest is None else 'met' if rest else 'missed'}.** "
        f"In the same {idle_seconds} s window the program's threads were switched out "
        f"{count(m('idle_wakeups.program'))} times and the bare `bench_minimal.exe`'s "
        f"{count(m('idle_wakeups.baseline'))} (`bench_minimal_read.exe`'s "
        f"{count(m('idle_wakeups.baseline_read'))}, and `bench_minimal_hook.exe`'s, whose "
        f"hook thread waits for input that never comes, {count(m('idle_wakeups.baseline_hook'))})"
        ": the sum over all threads of the Unix "
        "process of `voluntary_ctxt_switches` and `nonvoluntary_ctxt_switches` "
        "(`/proc/PID/task/*/status`), after less before, each thread by its id. A sleeping "
        "thread switches out once every time something wakes it, so a program that does "
        "nothing stays near 0; under Wine it also switches out once for every request to the "
        "wineserver, as it waits for the reply, so a wakeup that asks the wineserver things "
        "counts several times. A thread started during the window counts whole; one that "
        "ended took its switches with it, as Linux shows a dead thread's count to its own "
        "process only (program: "
        f"{whole(info.get('idle_wakeups.program.threads_started'))} started, "
        f"{whole(info.get('idle_wakeups.program.threads_ended'))} ended; bare program: "
        f"{whole(info.get('idle_wakeups.baseline.threads_started'))} started, "
        f"{whole(info.get('idle_wakeups.baseline.threads_ended'))} ended). The wineserver's "
        "own wakeups are counted in neither.")

    text.append(
        f"**Size: {'met' if size_ok(machine) else 'missed'}.** sonalto.exe "
        f"{int(machine.get('size.sonalto.exe', 0)):,} bytes and morvask.dll "
        f"{int(machine.get('size.morvask.dll', 0)):,} bytes, statically linked, stripped, built "
        "with -Os; for scale, `bench_minimal.exe` built the same way is "
        f"{int(machine.get('size.bench_minimal.exe', 0)):,} bytes. Most of what lies over "
        "the goal are the tray icons: each of the four carries images of 16, 20, 24 and 32 "
        "pixels, so that it is drawn crisply at every display scaling, about 21 KB together "
        "where the 16-pixel images alone took 6 KB.")

    text.append(
        "**Painting under Wine has two speeds.** The same paint costs either about 50 µs or "
        "about 200 µs, and which one it is changes from one phase of a run to another (here "
        "the same bar-only paint took, min / median, "
        f"{pair(rows.get('part.bar_paint_alone'))} in one phase and "
        f"{pair(rows.get('part.bar_paint_after_pause'))} in another, where each batch followed "
        "a 300 ms sleep). Over several runs neither sleeping nor being busy decided "
        "it; most likely it is whether Wine hands the window's surface to the X server within "
        "the paint, but that was not traced. Every comparison that paints therefore takes both "
        "of its sides in the same rounds, where both meet the same speed; rows from different "
        "phases are not comparable, and the absolute paint figures above are one phase's.")

    text.append(
        "**Noise.** The machine was shared with other builds and tests during the run (load "
        f"average {machine.get('load.before', 'n/a')} before, {machine.get('load.after', 'n/a')} "
        "after, on 2 cores). Program and baseline batches are taken in turn, their order swapped "
        "every round, so that load falls on both alike; the minimum is the cleaner figure, the "
        "median the typical one. Mixer calls are cross-thread sends and suffer most from a busy "
        "CPU.")
    return text


def wakeups_ok(rows):
    program, bare = median(rows, "idle_wakeups.program"), median(rows, "idle_wakeups.baseline")
    return None if program is None or bare is None else program <= bare + GOAL_EXTRA_WAKEUPS


def size_ok(machine):
    total = int(machine.get("size.sonalto.exe", 0)) + int(machine.get("size.morvask.dll", 0))
    return 0 < total <= GOAL_SIZE


def kib(value):
    if value is None:
        return "n/a"
    return f"{float(value):,.0f} KiB"


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Takes the README's pictures of the real program under Wine on a virtual display:
python3 scripts/screenshots.py <build>/bin <folder for the PNGs>.

Everything is reached the way a user reaches it: real key presses, a right-click on
the tray icon and a click in its menu. Wine's mixer sends no change notification,
so after each mute toggle the script sends the program the one the mixer would have
sent; that is what makes the tray image follow the mute state.

Without a window manager on the virtual display, Wine leaves the title bars of its
windows undrawn: the help box and the settings dialog are pictured without their
captions.
"""

import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402

MM_MIXM_CONTROL_CHANGE = 977
TRAY_TITLE = "Wine System Tray"
SETTINGS_TITLE = "Sonalto Settings"
IDCANCEL = 2
DESKTOP_COLOUR = "rgb(96,96,96)"   # the stand-in desktop's grey, framing the display
MARGIN = 6                         # pixels of the surroundings kept around a window
ICON_SIZE = 16                     # the tray images; Wine centres them in a larger cell
ICON_SCALE = "800%"
MIDDLE_BAR = h.BAR_WIDTH // 2      # green pixels of a half-full bar
STEP = 500                         # fader units of one volume step after a pause
SLOW = 0.85                        # s between presses: the step starts again at 500
SETTLE = 0.3                       # s for a window to finish painting


class Camera:
    """Cuts pictures out of screenshots into the output folder."""

    def __init__(self, session, folder):
        self.s, self.folder = session, folder
        os.makedirs(folder, exist_ok=True)
        self.scratch = tempfile.mkdtemp(prefix="sonalto-pictures-")

    def close(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def save(self, name, box, picture=None, extra=()):
        """Writes the box (left, top, right, bottom) of the screen, or of a
        picture already taken, as a small PNG."""
        if picture is None:
            time.sleep(SETTLE)
            picture = self.s.screenshot()
        left, top, right, bottom = box
        screen = os.path.join(self.scratch, "screen.png")
        picture.save_png(screen)
        out = os.path.join(self.folder, name)
        subprocess.run(["convert", screen, "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                        "+repage", *extra, "-strip", "-define", "png:compression-level=9", out],
                       check=True)
        print(f"{out}: {os.path.getsize(out)} bytes", file=sys.stderr)

    def display(self, name, picture):
        # The display sits in the screen's corner: cut it out exactly and frame it
        # with the same margin of desktop on all four sides.
        self.save(name, h.DISPLAY_BOX, picture,
                  ["-bordercolor", DESKTOP_COLOUR, "-border", str(MARGIN)])

    def tray_icon(self, name, image):
        """Waits until the tray shows the program's icon resource `image`, then
        pictures it enlarged."""
        left, top, right, bottom = h.rect(self.s.wait_for_tray_image(image))
        left, top = (left + right - ICON_SIZE) // 2, (top + bottom - ICON_SIZE) // 2
        self.save(name, (left, top, left + ICON_SIZE, top + ICON_SIZE),
                  extra=["-scale", ICON_SCALE])


def drawn_rect(session, title):
    """The screen rect of the X window Wine draws for a window of this title: its
    client area, as no window manager adds a frame."""
    xid = h.wait_until(lambda: session.xdotool("search", "--name", f"^{title}$").split(), 10,
                       f"the X window {title!r}")[0]
    shell = dict(line.split("=", 1) for line in
                 session.xdotool("getwindowgeometry", "--shell", xid).split())
    left, top = int(shell["X"]), int(shell["Y"])
    return left, top, left + int(shell["WIDTH"]), top + int(shell["HEIGHT"])


def union(*rects, margin=MARGIN):
    return (max(0, min(r[0] for r in rects) - margin), max(0, min(r[1] for r in rects) - margin),
            min(h.SCREEN_WIDTH, max(r[2] for r in rects) + margin),
            min(h.SCREEN_HEIGHT, max(r[3] for r in rects) + margin))


def mute_toggle_while_hidden(s, watch):
    """Ctrl+Alt+M, then waits until the display has hidden again (it would cover
    the tray icon) and passes on the mixer's notification."""
    before = watch.mark()
    s.key("ctrl+alt+m")
    watch.wait_for("visible", 1, after=before)
    watch.wait_for("visible", 0, after=before, timeout=5)
    s.send(MM_MIXM_CONTROL_CHANGE)


def take_pictures(s, camera):
    program = s.start_program_and_wait()
    s.start_desktop()
    watch = s.watch()

    camera.tray_icon("tray-enabled.png", "ENMUTEOFF")

    # Down to the middle in steps of 500: key presses spaced as xdotool spaces them
    # (over 100 ms apart) keep the step from growing. Should some have grown, slow
    # presses, watched on the bar itself, finish the way: a step of 500 moves the
    # bar by less than a pixel, so it stops at exactly half, run after run.
    s.focus_desktop()
    s.key(*["ctrl+alt+Next"] * math.ceil((h.BAR_WIDTH - MIDDLE_BAR) * h.FADER_SPAN /
                                         h.BAR_WIDTH / STEP))
    for _ in range(40):
        time.sleep(SLOW)
        picture = s.screenshot()
        bar = h.bar_length(picture)
        if bar == MIDDLE_BAR:
            break
        s.key("ctrl+alt+Next" if bar > MIDDLE_BAR else "ctrl+alt+Prior")
    else:
        raise h.HarnessError(f"the bar stays at {bar} pixels, not {MIDDLE_BAR}")
    picture = s.wait_for_picture(lambda p: h.display_problems(p, MIDDLE_BAR, "ON"))
    camera.display("display-volume.png", picture)

    before = watch.mark()
    s.key("ctrl+alt+m")
    camera.display("display-muted.png",
                   s.wait_for_picture(lambda p: h.display_problems(p, MIDDLE_BAR, "Mute")))
    watch.wait_for("visible", 0, after=before, timeout=5)
    s.send(MM_MIXM_CONTROL_CHANGE)
    camera.tray_icon("tray-enabled-muted.png", "ENMUTEON")

    # Switching off stops the display's hide timer too: every mute toggle happens
    # while switched on, and the display has hidden before the switch. Ctrl+Alt+M
    # works only once switching on has registered it again: the tray tells when.
    s.key("shift+Pause")
    camera.tray_icon("tray-disabled-muted.png", "DIMUTEON")
    s.key("shift+Pause")
    s.wait_for_tray_image("ENMUTEON")
    mute_toggle_while_hidden(s, watch)
    s.key("shift+Pause")
    camera.tray_icon("tray-disabled.png", "DIMUTEOFF")
    s.key("shift+Pause")

    # The menu opens with its corner at the pointer, over the icon; the picture
    # keeps the tray beside it.
    s.wait_for_tray_image("ENMUTEOFF")
    menu = h.rect(s.open_tray_menu())
    camera.save("tray-menu.png", union(menu, drawn_rect(s, TRAY_TITLE)))

    # "Controls" is the first item.
    s.click(menu[0] + 20, menu[1] + 10)
    box = s.wait_for_boxes()[0]
    camera.save("help.png", union(drawn_rect(s, box["title"])))
    s.press(box["hwnd"], h.IDOK)

    # The settings dialog as it opens: the settings in force, here the defaults.
    s.open_tray_menu()
    s.click(*h.centre(s.menu_texts("Settings...")[0]))
    dialog = h.wait_until(lambda: s.window(h.BOX_CLASS, SETTINGS_TITLE), 10, "the settings dialog")
    camera.save("settings.png", union(drawn_rect(s, SETTINGS_TITLE)))
    s.press(dialog["hwnd"], IDCANCEL)

    s.send(h.WM_CLOSE)
    if s.wait_exit(program) != 0:
        raise h.HarnessError("the program did not end with exit code 0")


# The help box and the settings dialog in two more languages, one of them written in
# Chinese characters; each in a session of its own.
TRANSLATED = ("de_DE", "ja_JP")


def take_translated_pictures(s, camera, texts, suffix):
    program = s.start_program_and_wait()
    s.start_desktop()
    s.open_tray_menu()
    s.click(*h.centre(s.menu_texts(texts["IDS_CONTROLS"])[0]))
    box = s.wait_for_boxes()[0]
    camera.save(f"help-{suffix}.png", union(drawn_rect(s, box["title"])))
    s.press(box["hwnd"], h.IDOK)
    s.open_tray_menu()
    s.click(*h.centre(s.menu_texts(texts["IDS_SETTINGS"])[0]))
    title = texts["IDS_SETTINGS_CAPTION"]
    dialog = h.wait_until(lambda: s.window(h.BOX_CLASS, title), 10, "the settings dialog")
    camera.save(f"settings-{suffix}.png", union(drawn_rect(s, title)))
    s.press(dialog["hwnd"], IDCANCEL)
    s.send(h.WM_CLOSE)
    if s.wait_exit(program) != 0:
        raise h.HarnessError("the program did not end with exit code 0")


def main():
    if len(sys.argv) != 3:
        print(f"usage: {sys.argv[0]} <build>/bin <folder for the pictures>", file=sys.stderr)
        sys.exit(2)
    with h.Session(sys.argv[1], sound=True, name="screenshots") as s:
        camera = Camera(s, sys.argv[2])
        try:
            take_pictures(s, camera)
        finally:
            camera.close()
    for locale in TRANSLATED:
        with h.in_language(locale) as texts, \
                h.Session(sys.argv[1], sound=True, name=f"screenshots-{locale}") as s:
            camera = Camera(s, sys.argv[2])
            try:
                take_translated_pictures(s, camera, texts, h.LANGUAGES[locale])
            finally:
                camera.close()


if __name__ == "__main__":
    main()

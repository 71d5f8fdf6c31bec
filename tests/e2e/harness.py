"""End-to-end harness: the real sonalto.exe under Wine on a private virtual display.

A Session starts, for one test alone, an Xvfb, optionally a PulseAudio daemon with a
null sink (Wine's mixer device 0), and a wineserver for the build's private Wine
prefix, and stops every one of them by its PID (and the wineserver with
`wineserver -k` for its own prefix) however the test ends.

What the program does is judged from outside: probe.exe reads window state, message
boxes, the foreground window and the mixer under the same wineserver; xdotool sends
real keys and mouse clicks; screenshots of the X root window give the pixels.

Set SONALTO_E2E_WINEDEBUG (e.g. "err+all,warn+win") for Wine's own diagnostics; a
failing test leaves them, with a screenshot and the window lists, in
<build>/e2e-artifacts.

Python 3 standard library only.
"""

import contextlib
import ctypes
import fcntl
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib
from fractions import Fraction

SCREEN_WIDTH, SCREEN_HEIGHT = 1024, 768

PROGRAM_CLASS = "Tsonalto"
DESKTOP_CLASS = "SonaltoTestDesktop"
DESKTOP_TITLE = "Sonalto test desktop"
# Without a tray manager on the X display, Wine's explorer shows its own tray window.
TRAY_CLASS = "__winex11_standalone_tray"
# Each tray icon's tip is a common-controls tooltip window of Wine's explorer.
TOOLTIP_CLASS = "tooltips_class32"
MENU_CLASS = "#32768"
BOX_CLASS = "#32770"

IDOK = 1
WM_NULL = 0x0000
WM_CLOSE = 0x0010

# Styles of the program's window as probe.exe reports them.
WS_POPUP = 0x80000000
WS_CLIPSIBLINGS = 0x04000000
WS_EX_TOPMOST = 0x00000008
WS_EX_NOACTIVATE = 0x08000000


# In the emulated test machine (scripts/machine.sh) everything runs several times
# slower: each wait for something that must come stretches by this factor. A test
# whose point is a bound in real time shorter than that slowness, as the display
# still showing when a probe looks, cannot be judged there and is skipped.
SLOWNESS = float(os.environ.get("SONALTO_SLOWNESS", "1"))
needs_real_time = unittest.skipIf(SLOWNESS > 1, "bound by real time, and this machine "
                                  "runs Wine under software emulation")


class HarnessError(AssertionError):
    """Set-up of the session failed, or something waited for never came."""


def wait_until(condition, timeout, what, interval=0.05):
    """Calls condition() until it returns something true, and returns that.

    Raises HarnessError naming `what` and the last value seen after `timeout` s.
    """
    deadline = time.monotonic() + timeout * SLOWNESS
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise HarnessError(f"timed out after {timeout} s waiting for {what} "
                               f"(last seen: {value!r})")
        time.sleep(interval)


def parse_records(text):
    """Turns probe output into a list of dicts: one per "[name]" record, or one
    for the whole output when it has no record headers. Values stay strings."""
    records, current = [], {}
    for line in text.splitlines():
        line = line.rstrip("\r\n")
        if line.startswith("[") and line.endswith("]"):
            if current:
                records.append(current)
            current = {"record": line[1:-1]}
            continue
        key, sep, value = line.partition("=")
        if sep:
            current[key] = value
    if current:
        records.append(current)
    return records


def number(text):
    return int(text, 0)


# ---- Pictures ----

class Picture:
    """An RGB screenshot; pixel(x, y) gives an (r, g, b) tuple."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def from_ppm(cls, blob):
        # P6 header: magic, width, height, maximum, each separated by whitespace,
        # possibly with comments; then one byte per channel for maximum 255.
        fields, pos = [], 0
        while len(fields) < 4:
            match = re.compile(rb"\s*(#[^\n]*\n\s*)*(\S+)").match(blob, pos)
            fields.append(match.group(2))
            pos = match.end()
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise HarnessError(f"unexpected picture format {fields[0]!r} max {fields[3]!r}")
        width, height = int(fields[1]), int(fields[2])
        data = blob[pos + 1:pos + 1 + width * height * 3]
        return cls(width, height, data)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def pixels(self, box):
        """Yields (x, y, colour) over box = (left, top, right, bottom), exclusive."""
        left, top, right, bottom = box
        for y in range(top, bottom):
            for x in range(left, right):
                yield x, y, self.pixel(x, y)

    def count(self, colour, box):
        return sum(1 for _, _, c in self.pixels(box) if c == colour)

    def run_length(self, x, y, colour):
        """How many pixels from (x, y) to the right have exactly this colour."""
        n = 0
        while x + n < self.width and self.pixel(x + n, y) == colour:
            n += 1
        return n

    def save_png(self, path):
        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
        row = self.width * 3
        raw = b"".join(b"\0" + self.data[y * row:(y + 1) * row] for y in range(self.height))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" +
                    chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)) +
                    chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


# ---- The display's picture ----

BACKGROUND = (20, 20, 140)
GREEN = (0, 255, 0)
WHITE = (255, 255, 255)

FADER_SPAN = 65536
TEXT_MIN_WHITE = 10             # fully white pixels each text has at the least


class Layout:
    """The display's boxes (left, top, right, bottom; right and bottom exclusive) at
    a DPI: at 96 its 150x60 design, at any other every size and position scaled by
    dpi / 96, rounded half up."""

    def __init__(self, dpi=96):
        self.dpi = dpi
        self.display = self.scaled(0, 0, 150, 60)
        self.bar = self.scaled(20, 30, 130, 40)       # inside the outline: green, then white
        self.frame_width = self.scaled(1)[0]
        f = self.frame_width
        self.frame = (self.bar[0] - f, self.bar[1] - f, self.bar[2] + f, self.bar[3] + f)
        self.bar_width = self.bar[2] - self.bar[0]
        # Where each text may put pixels: from its origin to the next text or the
        # frame. The font is the platform's, so only the origin and the colour are fixed.
        right, bottom = self.display[2], self.frame[1]
        self.texts = {"Volume": self.scaled(10, 5, 95) + (bottom,),
                      "Mute": self.scaled(100, 5) + (right, bottom),
                      "ON": self.scaled(110, 5) + (right, bottom)}

    def scaled(self, *values):
        return tuple((v * self.dpi + 48) // 96 for v in values)


LAYOUT = Layout()
DISPLAY_BOX, FRAME_BOX, BAR_BOX, TEXT_BOXES = LAYOUT.display, LAYOUT.frame, LAYOUT.bar, LAYOUT.texts
BAR_WIDTH = LAYOUT.bar_width


def filled_width(volume, bar_width=BAR_WIDTH):
    """Green pixels of the bar for a fader value: volume * 110 / 65536, rounded to
    nearest, ties to even (Python's round of an exact fraction does just that)."""
    return round(Fraction(volume * bar_width, FADER_SPAN))


def inside(x, y, box):
    return box[0] <= x < box[2] and box[1] <= y < box[3]


def is_text_blend(colour):
    """White text smoothed over the dark blue: every channel moves from the
    background towards 255 by the same fraction."""
    if colour == BACKGROUND or colour == WHITE:
        return True
    r, g, b = colour
    share = (r - BACKGROUND[0]) / (255 - BACKGROUND[0])
    blue = BACKGROUND[2] + share * (255 - BACKGROUND[2])
    return r == g and r > BACKGROUND[0] and abs(b - blue) <= 2


def display_problems(picture, filled, mute_text, layout=LAYOUT):
    """Compares the display's 150x60 pixels (at 96 DPI) with its fixed picture:
    background, frame, a bar green for `filled` pixels and white after, the white
    text "Volume" at (10,5) and `mute_text` ("Mute" at (100,5), "ON" at (110,5), or
    None), and the desktop just outside. Returns a list of differences, empty when
    it matches."""
    problems = []
    boxes = [layout.texts["Volume"]] + ([layout.texts[mute_text]] if mute_text else [])
    width, height = layout.display[2:]
    for x, y, colour in picture.pixels(layout.display):
        if inside(x, y, layout.bar):
            expected = GREEN if x < layout.bar[0] + filled else WHITE
            what = "bar"
        elif inside(x, y, layout.frame):
            expected, what = WHITE, "frame"
        elif any(inside(x, y, box) for box in boxes):
            if not is_text_blend(colour):
                problems.append(f"({x},{y}) text pixel {colour} is not white on the background")
            continue
        else:
            expected, what = BACKGROUND, "background"
        if colour != expected:
            problems.append(f"({x},{y}) {what} is {colour}, expected {expected}")
    for x, y in [(width, y) for y in range(0, height + 1)] + [(x, height) for x in range(width)]:
        if picture.pixel(x, y) == BACKGROUND:
            problems.append(f"({x},{y}) just outside the {width}x{height} display is still "
                            "background")
    for text, box in zip(["Volume", mute_text], boxes):
        lit = [(x, y) for x, y, c in picture.pixels(box) if c != BACKGROUND]
        white = sum(1 for x, y, c in picture.pixels(box) if c == WHITE)
        if white < TEXT_MIN_WHITE:
            problems.append(f'"{text}": only {white} white pixels in {box}')
            continue
        left, top = min(x for x, _ in lit), min(y for _, y in lit)
        # The first glyph starts at the origin or a pixel or two to the right of it
        # (its side bearing), and below it by the font's internal leading.
        bearing, leading = layout.scaled(2, 4)
        if not (box[0] <= left <= box[0] + bearing and box[1] <= top <= box[1] + leading):
            problems.append(f'"{text}" starts at ({left},{top}), expected near {box[:2]}')
    return problems


def bar_length(picture):
    """How many green pixels the bar's middle row has from its left edge."""
    return picture.run_length(BAR_BOX[0], (BAR_BOX[1] + BAR_BOX[3]) // 2, GREEN)


# ---- The tray icon's picture ----

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")
TRAY_IMAGES = ("ENMUTEON", "ENMUTEOFF", "DIMUTEON", "DIMUTEOFF")
_icons = {}


def load_icon(path):
    """The first image of an .ico file of 8 bits per pixel with a 1-bit mask:
    (width, height, {(x, y): (r, g, b)} of its opaque pixels)."""
    with open(path, "rb") as f:
        blob = f.read()
    offset = struct.unpack_from("<I", blob, 18)[0]
    header, width, double_height, _, bits = struct.unpack_from("<IiiHH", blob, offset)
    colours = struct.unpack_from("<I", blob, offset + 32)[0] or 256
    if bits != 8:
        raise HarnessError(f"{path}: {bits} bits per pixel, expected 8")
    height = double_height // 2
    palette = offset + header
    colour_rows = palette + 4 * colours
    colour_stride = (width + 3) // 4 * 4
    mask_rows = colour_rows + colour_stride * height
    mask_stride = (width + 31) // 32 * 4
    pixels = {}
    for y in range(height):
        row = height - 1 - y   # rows are stored bottom-up
        for x in range(width):
            if blob[mask_rows + row * mask_stride + x // 8] & (0x80 >> (x % 8)):
                continue
            index = blob[colour_rows + row * colour_stride + x]
            blue, green, red = blob[palette + 4 * index:palette + 4 * index + 3]
            pixels[(x, y)] = (red, green, blue)
    return width, height, pixels


def tray_image_problems(picture, cell, image):
    """Compares a tray icon's cell (left, top, right, bottom) with the program's
    icon resource `image` (e.g. "ENMUTEOFF") drawn centred in it: its opaque pixels
    exactly, every other pixel of the cell the cell's background (its top-left
    pixel). Returns the differences, empty when it matches."""
    if image not in _icons:
        _icons[image] = load_icon(os.path.join(RESOURCES, image.lower() + ".ico"))
    width, height, pixels = _icons[image]
    left, top, right, bottom = cell
    origin = (left + (right - left - width) // 2, top + (bottom - top - height) // 2)
    background = picture.pixel(left, top)
    problems = []
    for x, y, colour in picture.pixels(cell):
        expected = pixels.get((x - origin[0], y - origin[1]), background)
        if colour != expected:
            problems.append(f"({x},{y}) is {colour}, {image} has {expected}")
    return problems


# ---- The program's texts in each language ----

# The locale a session takes each language from (LANG=<locale>.UTF-8), and the file
# of its string table in resources/lang/.
LANGUAGES = {"en_US": "en", "de_DE": "de", "fr_FR": "fr", "es_ES": "es", "it_IT": "it",
             "pt_BR": "pt-BR", "pl_PL": "pl", "ru_RU": "ru", "ja_JP": "ja", "zh_CN": "zh-CN",
             "ko_KR": "ko"}
_DIALOG_BUTTONS = {"IDOK": 1, "IDCANCEL": 2}


def string_table(locale):
    """{name: text} of a language's string table as its .rc file has it, with \\r
    as a line break: "IDS_TIP", and "TEXT_OF(IDC_...)" for a dialog control's text
    (also under the control's id as a number)."""
    with open(os.path.join(RESOURCES, "resource.h")) as f:
        ids = dict(_DIALOG_BUTTONS, **{name: int(value) for name, value in
                                       re.findall(r"#define (IDC_\w+) (\d+)", f.read())})
    with open(os.path.join(RESOURCES, "lang", LANGUAGES[locale] + ".rc"), encoding="utf-8") as f:
        entries = re.findall(r'^\s+(\S+)\s+"((?:[^"\\]|\\.)*)"\s*$', f.read(), re.M)
    table = {}
    for name, text in entries:
        table[name] = text.replace("\\r", "\r")
        control = re.fullmatch(r"TEXT_OF\((\w+)\)", name)
        if control:
            table[ids[control.group(1)]] = table[name]
    return table


@contextlib.contextmanager
def in_language(locale):
    """Sessions started inside take the user's language from LANG=<locale>.UTF-8, as
    Wine does; the locale must have been generated (scripts/lib.sh)."""
    saved = dict(os.environ)
    for key in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
        os.environ.pop(key, None)
    os.environ["LANG"] = f"{locale}.UTF-8"
    try:
        yield string_table(locale)
    finally:
        os.environ.clear()
        os.environ.update(saved)


def rect(record):
    """(left, top, right, bottom) of a window record."""
    return tuple(int(record[k]) for k in ("left", "top", "right", "bottom"))


def centre(record):
    left, top, right, bottom = rect(record)
    return (left + right) // 2, (top + bottom) // 2


# ---- Timeline ----

class Watch:
    """A running `probe watch CLASS`: each change of the window's handle ("window",
    0 while there is none), its visibility ("visible") and Wine's foreground window
    ("foreground"), stamped with the Windows tick count, the clock of the program's
    own timers. mark() puts a stamp of "now" on the same clock."""

    def __init__(self, session, class_name):
        self._events, self._changed = [], threading.Condition()
        self._process = session.wine_process(["probe.exe", "watch", class_name],
                                             stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        wait_until(lambda: self.events("start"), 15, "the watcher to start")

    def _read(self):
        for raw in self._process.stdout:
            words = raw.decode(errors="replace").split()
            if len(words) != 3 or words[0] != "event":
                continue
            tick = int(words[1].partition("=")[2])
            name, _, value = words[2].partition("=")
            with self._changed:
                self._events.append((tick, name, int(value, 0)))
                self._changed.notify_all()

    def events(self, name=None):
        """[(tick, name, value)] in the order seen, all of them or one kind."""
        with self._changed:
            return [e for e in self._events if name is None or e[1] == name]

    def last(self, name):
        found = self.events(name)
        return found[-1][2] if found else None

    def mark(self):
        """The current tick count, as the watcher reads it on request."""
        count = len(self.events("mark"))
        self._process.stdin.write(b"\n")
        self._process.stdin.flush()
        with self._changed:
            if not self._changed.wait_for(lambda: len(self.events("mark")) > count, 10):
                raise HarnessError("the watcher did not answer a mark")
        return self.events("mark")[count][0]

    def wait_for(self, name, value, after=None, timeout=10):
        """Waits for a change of `name` to `value` (after tick `after`, if given) and
        returns its tick."""
        def seen():
            ticks = [t for t, _, v in self.events(name)
                     if v == value and (after is None or t >= after)]
            return ticks[0] if ticks else None
        return wait_until(seen, timeout, f"{name} to become {value}", interval=0.01)

    def stop(self):
        if self._process.poll() is None:
            with contextlib.suppress(OSError):
                self._process.stdin.close()
            try:
                self._process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._reader.join(timeout=5)


# ---- The session ----

class Session:
    """One private desktop for one test: `with Session(bin_dir, sound=True) as s:`.

    Everything started here is stopped by __exit__, also when the test fails; a
    failing test leaves a screenshot and the window list in <build>/e2e-artifacts.
    """

    _count = 0

    def __init__(self, bin_dir, sound=True, name=None, monitors=None, dpi=None):
        """monitors: rects (left, top, width, height) on one wide virtual X screen
        that split it into several monitors, the first the primary; dpi: the
        scaling of the desktop (LogPixels), 96 when not given.

        Windows puts the primary monitor's top-left corner at 0,0: clicks and
        screenshots take and give Windows' screen coordinates."""
        self.bin_dir = os.path.abspath(bin_dir)
        self.monitors = monitors or [(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT)]
        self.origin = self.monitors[0][:2]
        self.screen = (max(left + width for left, _, width, _ in self.monitors),
                       max(top + height for _, top, _, height in self.monitors))
        self.dpi = dpi
        self._monitor_split = None
        self.build_dir = os.path.dirname(self.bin_dir)
        self.prefix = os.path.join(self.build_dir, "wineprefix")
        self.sound = sound
        Session._count += 1
        self.name = name or (f"{os.path.splitext(os.path.basename(sys.argv[0]))[0]}"
                             f"-{Session._count}")
        self._services = []   # (description, Popen) to stop in reverse order
        self._programs = []   # wine processes started by the test
        self._watches = []
        self._temp_dirs = []
        self._lock_file = None
        self._wine_log = None
        self._guard = None
        self.env = None
        self.desktop_xid = None

    # -- start and stop --

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self._stop()
            raise
        return self

    def __exit__(self, kind, error, trace):
        if kind is not None and self.env is not None:
            with contextlib.suppress(Exception):
                self.save_artifacts()
        self._stop()
        return False

    def _start(self):
        # The prefix has one wineserver; two sessions on it would share it.
        self._lock_file = open(os.path.join(self.build_dir, ".e2e-session.lock"), "w")
        fcntl.flock(self._lock_file, fcntl.LOCK_EX)
        base = {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER")}
        base.update(WINEPREFIX=self.prefix, WINEARCH="win32",
                    WINEDEBUG=os.environ.get("SONALTO_E2E_WINEDEBUG", "-all"),
                    WINEDLLOVERRIDES="mscoree,mshtml=")
        self._end_stale_wineserver(base)
        self._prepare_prefix(base)
        _set_prefix_dpi(self.prefix, self.dpi)
        if len(self.monitors) > 1:
            # Wine learns of several monitors through Xinerama only, and only from the
            # 32-bit library, which scripts/lib.sh unpacks into the build tree.
            library = os.path.join(self.build_dir, XINERAMA32)
            if not os.path.exists(os.path.join(library, "libXinerama.so.1")):
                raise HarnessError(f"no 32-bit libXinerama in {library}: scripts/test.sh "
                                   "fetches it")
            base["LD_LIBRARY_PATH"] = ":".join(filter(None, [library,
                                                             base.get("LD_LIBRARY_PATH")]))
        runtime = tempfile.mkdtemp(prefix="sonalto-e2e-")
        self._temp_dirs.append(runtime)
        base["XDG_RUNTIME_DIR"] = runtime
        base["DISPLAY"] = self._start_xvfb(runtime)
        if len(self.monitors) > 1:
            self._monitor_split = _split_screen(base["DISPLAY"], self.monitors)
        if self.sound:
            self._start_pulseaudio(base)
        else:
            # No server, and none spawned on demand: Wine then has no mixer device.
            base["PULSE_SERVER"] = "unix:" + os.path.join(runtime, "no-sound-server")
        self.env = base
        self._wine_log = open(os.path.join(runtime, "wine.log"), "ab")
        self._start_wineserver()
        # The first Wine process brings up Wine's own background processes; started
        # here without our pipes, they cannot hold one open.
        subprocess.run(["wine", os.path.join(self.bin_dir, "probe.exe"), "windows"],
                       env=self.env, stdout=subprocess.DEVNULL, stderr=self._wine_log,
                       timeout=120)

    def _end_stale_wineserver(self, env):
        # A server still running for this prefix (a crashed run, a unit test) would
        # keep another display; wait for it to go, then end it.
        waiting = subprocess.Popen(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            waiting.wait(timeout=20)
        except subprocess.TimeoutExpired:
            waiting.kill()
            waiting.wait()
            subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL, timeout=20)

    def _prepare_prefix(self, env):
        # One recipe for the prefix: scripts/lib.sh's, which returns at once when
        # the prefix is ready and otherwise makes it (about 15 s) and marks it.
        lib = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                           "lib.sh")
        result = subprocess.run(["bash", "-c", 'source "$0" && prepare_wineprefix', lib],
                                env=dict(env, SONALTO_BUILD=self.build_dir),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=300)
        if result.returncode != 0:
            raise HarnessError(f"preparing the Wine prefix failed: {result.stderr.decode()}")

    def _service(self, description, args, end_with_script=True, **kwargs):
        # Should this script be killed outright, the service goes with it.
        process = subprocess.Popen(args, preexec_fn=_end_with_parent if end_with_script else None,
                                   **kwargs)
        self._services.append((description, process))
        return process

    def _start_xvfb(self, runtime):
        read_end, write_end = os.pipe()
        try:
            with open(os.path.join(runtime, "xvfb.log"), "w") as log:
                self._service("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                       "{}x{}x24".format(*self.screen), "-nolisten", "tcp"],
                              pass_fds=(write_end,), stdout=log, stderr=log)
            os.close(write_end)
            write_end = None
            # Xvfb writes the number and the line end in two writes, and dies if the
            # pipe is closed in between: read up to the line end.
            reported = b""
            deadline = time.monotonic() + 15
            while not reported.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], max(0, deadline - time.monotonic()))
                chunk = os.read(read_end, 64) if ready else b""
                if not chunk:
                    raise HarnessError("Xvfb did not report its display; see xvfb.log")
                reported += chunk
            return ":" + reported.decode().strip()
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def _start_pulseaudio(self, env):
        # The same daemon as scripts/lib.sh start_sound_server, in this session's
        # own runtime directory.
        log = open(os.path.join(env["XDG_RUNTIME_DIR"], "pulseaudio.log"), "w")
        self._service("PulseAudio",
                      ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                       "--disallow-exit", "--use-pid-file=no",
                       "--load=module-null-sink sink_name=speakers",
                       "--load=module-native-protocol-unix"],
                      env=env, stdout=log, stderr=log)
        log.close()
        wait_until(lambda: subprocess.run(["pactl", "info"], env=env,
                                          stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL).returncode == 0,
                   15, "PulseAudio to answer")

    def _start_wineserver(self):
        # Persistent, so that the desktop process (explorer, with the tray) stays
        # between the programs the test starts one after the other.
        self._service("wineserver", ["wineserver", "-f", "-p"], end_with_script=False,
                      env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A server that merely dies leaves its Wine processes behind; `wineserver -k`
        # ends them. This guard does it should the script be killed outright, and is
        # itself stopped first by an orderly stop.
        self._guard = subprocess.Popen(
            ["sh", "-c", f"while kill -0 {os.getpid()} 2>/dev/null; do sleep 0.5; done; "
                         "exec wineserver -k"],
            env=self.env, start_new_session=True, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(self._server_socket()), 15, "the wineserver socket")

    def _server_socket(self):
        # Upstream Wine keeps its socket under /tmp/.wine-UID; Debian's Wine under a
        # random /tmp folder whose name it records in the prefix's file "wineserver".
        info = os.stat(self.prefix)
        folder = f"/tmp/.wine-{os.getuid()}"
        with contextlib.suppress(OSError):
            with open(os.path.join(self.prefix, "wineserver")) as f:
                folder = os.path.join("/tmp", f.read().strip())
        return os.path.join(folder, f"server-{info.st_dev:x}-{info.st_ino:x}", "socket")

    def _stop(self):
        if self._guard:
            _end(self._guard)
            self._guard = None
        for watch in self._watches:
            with contextlib.suppress(Exception):
                watch.stop()
        if self.env is not None:
            with contextlib.suppress(Exception):
                subprocess.run(["wineserver", "-k"], env=self.env, timeout=20,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for process in self._programs:
            _end(process)
        if self._monitor_split:
            self._monitor_split()
            self._monitor_split = None
        for _, process in reversed(self._services):
            _end(process)
        self._services, self._programs, self._watches = [], [], []
        if self._wine_log:
            self._wine_log.close()
            self._wine_log = None
        for path in self._temp_dirs:
            shutil.rmtree(path, ignore_errors=True)
        self._temp_dirs = []
        if self._lock_file:
            self._lock_file.close()
            self._lock_file = None

    def stop_sound_server(self):
        """Ends this session's PulseAudio by its PID, as a sound device that goes
        away while programs run; everything else of the session goes on."""
        for description, process in self._services:
            if description == "PulseAudio":
                _end(process)
                return True
        return False

    # -- running Windows programs --

    def wine_process(self, args, **kwargs):
        """Starts bin/<args[0]> under Wine; the Popen is stopped with the session."""
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", self._wine_log)
        kwargs.setdefault("env", self.env)
        process = subprocess.Popen(["wine", os.path.join(self.bin_dir, args[0])] + args[1:],
                                   **kwargs)
        self._programs.append(process)
        return process

    def start_program(self, env=None, program="sonalto.exe"):
        """Starts sonalto.exe, or the copy given (in env, the session's own when not
        given); keep the Popen for its exit code."""
        return self.wine_process([program], env=env or self.env)

    def start_program_and_wait(self, env=None, program="sonalto.exe"):
        """Starts sonalto.exe or the copy given and waits until it has finished
        starting up: its window exists and its thread answers messages, which it does
        only from its message loop, after the tray icon and the hotkeys are in place."""
        process = self.start_program(env, program)
        self.wait_for_window(PROGRAM_CLASS)
        wait_until(lambda: self.send(WM_NULL).get("answered") == "1", 20,
                   "the program to reach its message loop")
        return process

    def start_program_on_standin(self, service=None):
        """Starts sonalto.exe on the stand-in for Wine's mmdevapi.dll (bin/standin),
        the unit tests' fake endpoints, and waits as start_program_and_wait does.
        The stand-in lies in the prefix's system32, where only a process told
        "mmdevapi=n" loads it: every other one keeps Wine's builtin. service: the
        HRESULT its audio service answers from the start until "probe
        endpoint-service 0"; None for a service that runs."""
        shutil.copyfile(os.path.join(self.bin_dir, "standin", "mmdevapi.dll"),
                        os.path.join(self.prefix, "drive_c", "windows", "system32",
                                     "mmdevapi.dll"))
        env = dict(self.env, WINEDLLOVERRIDES=self.env["WINEDLLOVERRIDES"] + ";mmdevapi=n")
        if service is not None:
            env["SONALTO_FAKE_SERVICE"] = hex(service)
        return self.start_program_and_wait(env)

    def endpoints(self):
        """The stand-in's state: {"default", "live", "watchers", "notifications",
        "failing" (calls still to fail), "activations" (endpoints handed out),
        "devices": [{"volume" (as a fader value), "mute", "writes", "registered"}]}."""
        records = [{k: number(v) for k, v in r.items() if k != "record"}
                   for r in self.probe("endpoints")]
        if not records:
            raise HarnessError("the program has not loaded the stand-in for mmdevapi.dll")
        return dict(records[0], devices=records[1:])

    def probe(self, *args, check=True):
        """Runs probe.exe and returns its output as a list of record dicts."""
        return parse_records(self.probe_text(*args, check=check))

    def probe_text(self, *args, check=True):
        """Runs probe.exe and returns its output as it is."""
        # Files, not pipes: a Wine process may hand its standard handles on to Wine's
        # own background processes, and a pipe would then never reach its end.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(["wine", os.path.join(self.bin_dir, "probe.exe")] +
                                  [str(a) for a in args], env=self.env, stdout=out, stderr=err,
                                  timeout=60).returncode
            out.seek(0)
            err.seek(0)
            if check and code == 2:
                raise HarnessError(f"probe {' '.join(map(str, args))}: {err.read().decode()}")
            return out.read().decode(errors="replace")

    def probe_one(self, *args):
        records = self.probe(*args)
        return records[0] if records else {}

    def window(self, class_name=PROGRAM_CLASS, title="-"):
        """The state of the first top-level window of that class, or None:
        hwnd, class, title, visible, left/top/right/bottom, style, exstyle, pid."""
        found = self.probe_one("find", class_name, title)
        return found if found.get("found") == "1" else None

    def wait_for_window(self, class_name=PROGRAM_CLASS, timeout=20):
        return wait_until(lambda: self.window(class_name), timeout, f"a window of {class_name}")

    def windows(self):
        return self.probe("windows")

    def boxes(self):
        """Every message box on the desktop: caption (title), text, text_id, icon,
        icon_id, buttons ("1:OK,2:Cancel"), and the raw control lines."""
        return [r for r in self.probe("boxes") if r.get("record") == "box"]

    def wait_for_boxes(self, count=1, timeout=20):
        return wait_until(lambda: (lambda b: b if len(b) >= count else None)(self.boxes()),
                          timeout, f"{count} message box(es)")

    def press(self, box_hwnd="-", button=IDOK):
        """Clicks a button of a box (BM_CLICK); by default OK of the first box."""
        return self.probe_one("press", box_hwnd, button).get("pressed") == "1"

    def send(self, message, wparam=0, lparam=0, class_name=PROGRAM_CLASS):
        return self.probe_one("send", class_name, message, wparam, lparam)

    def post(self, message, wparam=0, lparam=0, class_name=PROGRAM_CLASS):
        return self.probe_one("post", class_name, message, wparam, lparam)

    def foreground(self):
        """hwnd, class and title of Wine's foreground window."""
        return self.probe_one("foreground")

    def mixer(self):
        """Mixer device 0 seen from a process of its own: devices, channels, volume,
        mute. Wine keeps the fader and the mute switch per process, so volume and
        mute here are not the program's."""
        return {k: number(v) for k, v in self.probe_one("mixer").items()}

    def redraw_tray(self):
        return self.probe_one("redraw-tray").get("found") == "1"

    def tray(self):
        """Wine's own tray window (hwnd, rect, visible), or None."""
        return self.window(TRAY_CLASS)

    def tray_icons(self):
        """The icons in Wine's tray window, each a child window with its screen
        rect (left, top, right, bottom); an empty list when there are none."""
        return [r for r in self.probe("children", TRAY_CLASS) if r.get("record") == "child"]

    def raise_tray(self):
        """Puts Wine's tray window on top of the X stacking (the stand-in desktop
        covers it once focused) and returns its icons, for clicks and pixels."""
        xid = self.xdotool("search", "--name", "^Wine System Tray$").split()
        if not xid:
            raise HarnessError("Wine's tray window has no X window")
        self.xdotool("windowraise", xid[0])
        return self.tray_icons()

    def tray_images(self):
        """For each tray icon, the names of the reference images (TRAY_IMAGES) its
        pixels match, and the picture they were judged on. Wine's tray draws a
        changed icon over the old one without erasing it, so it is made to repaint
        whole first."""
        icons = self.raise_tray()
        self.redraw_tray()
        picture = self.screenshot()
        return [[image for image in TRAY_IMAGES
                 if not tray_image_problems(picture, rect(icon), image)]
                for icon in icons], picture

    def wait_for_tray_image(self, image, timeout=5):
        """Waits until the tray holds exactly one icon, showing `image` and none of
        the other three images; returns the icon."""
        seen = []
        def shown():
            matches, picture = self.tray_images()
            seen[:] = [matches, picture]
            return matches == [[image]]
        try:
            wait_until(shown, timeout, f"one tray icon showing {image}", interval=0.1)
        except HarnessError:
            matches, picture = seen
            path = self.artifact_path("tray.png")
            picture.save_png(path)
            icons = self.tray_icons()
            detail = "; ".join(
                f"icon {rect(icon)}: " + ", ".join(
                    f"{len(tray_image_problems(picture, rect(icon), name))} px off {name}"
                    for name in TRAY_IMAGES) for icon in icons)
            raise HarnessError(f"expected one icon showing {image}, matched {matches} "
                               f"({path}): {detail or 'no icon'}") from None
        return self.tray_icons()[0]

    def tray_tip(self, timeout=5):
        """Rests the pointer on the first tray icon until the shell shows its tip,
        and returns the tip's text; then moves the pointer away until it goes."""
        x, y = centre(self.raise_tray()[0])
        def tip():
            shown = [w for w in self.windows()
                     if w["class"] == TOOLTIP_CLASS and w["visible"] == "1"]
            return shown[0] if shown else None
        # The tip is shown for a pointer that moves over the icon.
        self.xdotool("mousemove", x, y, "sleep", "0.1", "mousemove", x + 1, y)
        text = wait_until(tip, timeout, "the tray icon's tip")["title"]
        self.xdotool("mousemove", SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
        wait_until(lambda: not tip(), timeout, "the tip to go")
        return text

    def delete_tray_icon(self, class_name=PROGRAM_CLASS, icon_id=0):
        """Removes a window's tray icon from the shell's side, as a taskbar that
        restarts loses every icon."""
        return self.probe_one("tray-delete", class_name, icon_id).get("deleted") == "1"

    def open_tray_menu(self):
        """A real right click on the first tray icon; returns the popup menu window
        once it shows."""
        self.right_click(*centre(self.raise_tray()[0]))
        return self.wait_for_menu()

    def menu(self):
        """The visible popup menu window (class #32768), or None."""
        shown = [w for w in self.windows() if w["class"] == MENU_CLASS and w["visible"] == "1"]
        return shown[0] if shown else None

    def wait_for_menu(self, timeout=5):
        return wait_until(self.menu, timeout, "a popup menu")

    def wait_for_no_menu(self, timeout=5):
        wait_until(lambda: not self.menu(), timeout, "the popup menu to close")

    def menu_texts(self, *candidates):
        """Which of the candidate texts the visible popup menu shows, top to bottom:
        records with text and the screen rect where it was found. probe.exe draws
        each candidate in the menu font and colours and finds it pixel for pixel."""
        found = [r for r in self.probe("menu-texts", *candidates) if r.get("record") == "text"]
        return sorted(found, key=lambda r: (int(r["top"]), int(r["left"])))

    def click_box_button(self, button=IDOK):
        """A real click on a button of the first message box."""
        controls = [c for c in self.probe("children", BOX_CLASS)
                    if c.get("record") == "child" and c.get("class") == "Button"
                    and c.get("id") == str(button)]
        if not controls:
            raise HarnessError(f"no button {button} in a message box")
        self.click(*centre(controls[0]))

    def hold_hotkey(self, modifiers, key):
        """Takes a global hotkey as another program would, until the session ends
        (probe hold-hotkey); returns the process."""
        process = self.wine_process(["probe.exe", "hold-hotkey", str(modifiers), str(key)],
                                    stdout=subprocess.PIPE)
        ready, _, _ = select.select([process.stdout], [], [], 15)
        answer = process.stdout.readline().decode().strip() if ready else ""
        if answer != "held=1":
            raise HarnessError(f"could not take the hotkey {modifiers}+{key}: {answer!r}")
        return process

    def watch(self, class_name=PROGRAM_CLASS):
        """Starts a timeline of the window's existence and visibility and of the
        foreground window (see Watch)."""
        watch = Watch(self, class_name)
        self._watches.append(watch)
        return watch

    def wait_exit(self, process, timeout=20):
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"process {process.args} still runs after {timeout} s")

    # -- the stand-in desktop and real input --

    def start_desktop(self):
        """Starts the stand-in desktop (a plain full-screen Wine window) and gives
        it the X focus with a real click, so that Wine sees the global hotkeys.
        Returns its state as window() does."""
        self.wine_process(["probe.exe", "desktop"])
        desktop = self.wait_for_window(DESKTOP_CLASS)
        self.desktop_xid = wait_until(
            lambda: self.xdotool("search", "--name", f"^{DESKTOP_TITLE}$").split(),
            15, "the desktop's X window")[0]
        self.focus_desktop()
        return desktop

    def focus_desktop(self, attempts=5):
        """Gives the stand-in desktop the X focus and makes it Wine's foreground
        window. Clicks until it is: a click that closes an open popup menu is eaten
        by the menu and activates nothing."""
        self.xdotool("windowfocus", "--sync", self.desktop_xid)
        for _ in range(attempts):
            self.click(SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
            with contextlib.suppress(HarnessError):
                wait_until(lambda: self.foreground().get("class") == DESKTOP_CLASS, 2,
                           "the stand-in desktop to be the foreground window")
                break
        else:
            raise HarnessError(f"the stand-in desktop is not the foreground window after "
                               f"{attempts} clicks: {self.foreground()}")
        wait_until(lambda: self.xdotool("getwindowfocus").strip() == self.desktop_xid, 10,
                   "the stand-in desktop to have the X focus")

    def xdotool(self, *args):
        result = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                                capture_output=True, timeout=30)
        if result.returncode != 0 and args[0] != "search":
            raise HarnessError(f"xdotool {' '.join(map(str, args))}: {result.stderr.decode()}")
        return result.stdout.decode()

    def key(self, *keys):
        """Real key presses, e.g. key("ctrl+alt+Next"); each chord in turn."""
        self.xdotool("key", "--delay", "40", *keys)

    def click(self, x, y, button=1, repeat=1, delay_ms=40):
        """Moves the pointer to (x, y) and clicks: button 1 left, 3 right, 4/5 wheel."""
        # No --sync: it waits for a pointer motion, which never comes when the
        # pointer already is at (x, y). The X server handles the requests in order.
        x, y = x + self.origin[0], y + self.origin[1]
        self.xdotool("mousemove", x, y, "click", "--repeat", repeat, "--delay", delay_ms,
                     button)

    def right_click(self, x, y):
        self.click(x, y, button=3)

    def wheel(self, x, y, notches, delay_ms=40):
        """Turns the wheel at (x, y): positive notches away from the user (up)."""
        self.click(x, y, button=4 if notches > 0 else 5, repeat=abs(notches), delay_ms=delay_ms)

    def wait_for_picture(self, problems_of, timeout=3, what="the picture"):
        """Takes screenshots until problems_of(picture) returns an empty list, and
        returns that picture; on timeout fails with the last list of problems."""
        deadline = time.monotonic() + timeout * SLOWNESS
        closest = None
        while True:
            picture = self.screenshot()
            problems = problems_of(picture)
            if not problems:
                return picture
            if closest is None or len(problems) <= len(closest[1]):
                closest = (picture, problems)
            if time.monotonic() > deadline:
                break
            time.sleep(0.1)
        # The closest picture tells more than the last one, which may show the
        # state after the next change (a display already hidden again).
        picture, problems = closest
        path = self.artifact_path("closest.png")
        picture.save_png(path)
        raise HarnessError(f"{what}: {len(problems)} differences in the closest of the "
                           f"pictures taken for {timeout} s ({path}), first ones:\n  " +
                           "\n  ".join(problems[:8]))

    def wait_for_display(self, volume, mute_text, timeout=3, layout=LAYOUT):
        """Waits until the display shows this fader value and mute text (None for
        no text) pixel for pixel; returns the picture."""
        filled = filled_width(volume, layout.bar_width)
        return self.wait_for_picture(lambda p: display_problems(p, filled, mute_text, layout),
                                     timeout,
                                     f"the display for volume {volume} ({filled} px) and "
                                     f"{mute_text!r}")

    def screenshot(self):
        """The X screen from the primary monitor's top-left corner on."""
        (left, top), (width, height) = self.origin, self.screen
        crop = ["-crop", f"{width - left}x{height - top}+{left}+{top}", "+repage"]
        blob = subprocess.run(["import", "-window", "root"] + crop + ["-depth", "8", "ppm:-"],
                              env=self.env, capture_output=True, timeout=30, check=True).stdout
        return Picture.from_ppm(blob)

    def x_tree(self):
        return subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True,
                              timeout=30).stdout.decode()

    def artifact_path(self, suffix):
        """<build>/e2e-artifacts/<test name>.<suffix>: kept after a failure."""
        folder = os.path.join(self.build_dir, "e2e-artifacts")
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, f"{self.name}.{suffix}")

    def save_artifacts(self):
        """Screenshot, Wine's window list, the X window tree and the logs of Wine,
        Xvfb and PulseAudio, for a failure."""
        self.screenshot().save_png(self.artifact_path("png"))
        with open(self.artifact_path("windows.txt"), "w") as f:
            for record in self.windows():
                f.write(" ".join(f"{k}={v!r}" for k, v in record.items()) + "\n")
            f.write("\n" + self.x_tree())
        self._wine_log.flush()
        runtime = self.env["XDG_RUNTIME_DIR"]
        for log in os.listdir(runtime):
            if log.endswith(".log"):
                shutil.copy(os.path.join(runtime, log), self.artifact_path(log))
        print(f"artifacts: {self.artifact_path('*')}", file=sys.stderr)


XINERAMA32 = os.path.join("xinerama32", "usr", "lib", "i386-linux-gnu")


def _set_prefix_dpi(prefix, dpi):
    """Writes the desktop's scaling into the prefix's user registry while no
    wineserver runs, or takes it out for the default 96. Every session sets it, so
    a session that ended abruptly never leaves its scaling to the next. Wine keeps
    a copy under its font settings, which goes too."""
    path = os.path.join(prefix, "user.reg")
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    kept, section = [], None
    for line in lines:
        if line.startswith("["):
            section = line.split("]")[0] + "]"
        if section in ("[Control Panel\\\\Desktop]", "[Software\\\\Wine\\\\Fonts]") and \
                line.startswith('"LogPixels"='):
            continue
        kept.append(line)
        if dpi and section == "[Control Panel\\\\Desktop]" and line.startswith("#time="):
            kept.append(f'"LogPixels"=dword:{dpi:08x}')
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write("\n".join(kept))


def _split_screen(display, monitors):
    """Splits the X screen into the given monitors with RandR's XRRSetMonitor and
    returns the function that ends the split. The monitors last as long as the
    connection that made them, so it stays open until then. The first monitor
    takes the screen's one output, which hides the monitor the server made for
    the whole screen."""
    c = ctypes

    class MonitorInfo(c.Structure):
        _fields_ = [("name", c.c_ulong), ("primary", c.c_int), ("automatic", c.c_int),
                    ("noutput", c.c_int), ("x", c.c_int), ("y", c.c_int), ("width", c.c_int),
                    ("height", c.c_int), ("mwidth", c.c_int), ("mheight", c.c_int),
                    ("outputs", c.POINTER(c.c_ulong))]

    class ScreenResources(c.Structure):
        _fields_ = [("timestamp", c.c_ulong), ("config_timestamp", c.c_ulong),
                    ("ncrtc", c.c_int), ("crtcs", c.c_void_p), ("noutput", c.c_int),
                    ("outputs", c.POINTER(c.c_ulong))]

    x11, xrandr = c.CDLL("libX11.so.6"), c.CDLL("libXrandr.so.2")
    x11.XOpenDisplay.restype, x11.XOpenDisplay.argtypes = c.c_void_p, [c.c_char_p]
    x11.XDefaultRootWindow.restype, x11.XDefaultRootWindow.argtypes = c.c_ulong, [c.c_void_p]
    x11.XInternAtom.restype = c.c_ulong
    x11.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]
    x11.XSync.argtypes = [c.c_void_p, c.c_int]
    x11.XCloseDisplay.argtypes = [c.c_void_p]
    xrandr.XRRGetScreenResources.restype = c.POINTER(ScreenResources)
    xrandr.XRRGetScreenResources.argtypes = [c.c_void_p, c.c_ulong]
    xrandr.XRRSetMonitor.argtypes = [c.c_void_p, c.c_ulong, c.POINTER(MonitorInfo)]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise HarnessError(f"cannot open the X display {display} to split it")
    root = x11.XDefaultRootWindow(connection)
    output = xrandr.XRRGetScreenResources(connection, root).contents.outputs
    for index, (left, top, width, height) in enumerate(monitors):
        info = MonitorInfo(name=x11.XInternAtom(connection, f"SONALTO-{index}".encode(), 0),
                           primary=int(index == 0), noutput=int(index == 0), x=left, y=top,
                           width=width, height=height, mwidth=width * 254 // 960,
                           mheight=height * 254 // 960, outputs=output if index == 0 else None)
        xrandr.XRRSetMonitor(connection, root, c.byref(info))
    x11.XSync(connection, 0)
    return lambda: x11.XCloseDisplay(connection)


def _end_with_parent():
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def _end(process):
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def portable_copy(test, settings):
    """A copy of the program in a folder of its own, beside a sonalto.ini holding the
    given lines of settings, removed when the test ends; returns the program's path.
    The prefix's registry stays as it was."""
    folder = tempfile.mkdtemp(prefix="sonalto-copy-")
    test.addCleanup(shutil.rmtree, folder)
    for name in ("sonalto.exe", "morvask.dll"):
        shutil.copy(os.path.join(BIN_DIR, name), folder)
    with open(os.path.join(folder, "sonalto.ini"), "w") as ini:
        ini.write("".join(f"{line}\r\n" for line in ["[Sonalto]"] + settings))
    return os.path.join(folder, "sonalto.exe")


# ---- Running a test script ----

def main():
    """Runs the unittest cases of the calling script; the build's bin folder is the
    one command-line argument. Prints one summary line; exit code 0 on success."""
    if len(sys.argv) != 2:
        print(f"usage: {sys.argv[0]} <build>/bin", file=sys.stderr)
        sys.exit(2)
    global BIN_DIR
    BIN_DIR = sys.argv[1]
    # ctest's timeout terminates the script: unwind, so every session stops.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    started = time.monotonic()
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules["__main__"])
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stderr).run(suite)
    passed = result.testsRun - len(result.failures) - len(result.errors) - len(result.skipped)
    print(f"{name}: {passed} passed, {len(result.failures) + len(result.errors)} failed,"
          f" {len(result.skipped)} skipped in {time.monotonic() - started:.1f} s")
    sys.exit(0 if result.wasSuccessful() and result.testsRun else 1)


BIN_DIR = None

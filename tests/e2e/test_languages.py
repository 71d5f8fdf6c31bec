"""The program in each of its languages, as Windows chooses it: one start per language
with LANG=<locale>.UTF-8, from which Wine takes the user's UI language. The menu,
the help box, the settings dialog and what a screen reader is told must be in that
language, word for word as its string table has them, and no text of the dialog or
the display may be cut."""

import re
import subprocess
import unittest

import harness as h

IDCANCEL = 2
CHECK_BOX = 16          # pixels of a check box and its gap before the text, at 96 DPI
RIGHT_MARGIN = 4        # pixels of background the display keeps right of its words


def plain(text):
    """A control's text as drawn: without the ampersand of its access key."""
    return text.replace("&", "")


def in_order(text, parts):
    """Whether every part is in text, each after the one before."""
    at = 0
    for part in parts:
        at = text.find(part, at)
        if at < 0:
            return False
        at += len(part)
    return True


class LanguagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        known = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
        missing = [locale for locale in h.LANGUAGES
                   if f"{locale}.utf8" not in known.split()]
        if missing:
            raise h.HarnessError(f"locales not generated (scripts/lib.sh): {missing}")

    def run_in(self, locale):
        with h.in_language(locale) as texts, \
                h.Session(h.BIN_DIR, sound=True, name=f"languages-{locale}") as s:
            self.check_language(s, texts)

    def check_language(self, s, texts):
        # The display shows for its longest time: its words are judged while it
        # shows, however slowly the machine runs.
        s.start_program_and_wait(program=h.portable_copy(self, ["DisplayTime=10000"]))
        s.start_desktop()
        self.check_screen_reader_and_display(s, texts)
        self.check_menu(s, texts)
        self.check_help_box(s, texts)
        self.check_settings_dialog(s, texts)

    def check_screen_reader_and_display(self, s, texts):
        s.key("ctrl+alt+Next")
        # The words end before the display's right edge: none runs into it.
        edge = h.DISPLAY_BOX[2]

        def words_problems(picture):
            if picture.pixel(*h.FRAME_BOX[:2]) != h.WHITE:
                return ["the display does not show"]
            lit = [(x, y) for x, y, colour in picture.pixels(
                   (edge - RIGHT_MARGIN, 0, edge, h.FRAME_BOX[1])) if colour != h.BACKGROUND]
            return [f"a word of the display reaches its right edge at {lit[:4]}"] if lit else []

        s.wait_for_picture(words_problems, what="the display's words")
        level = re.escape(texts["IDS_LEVEL"]).replace("%u", r"\d+").replace("%%", "%")
        h.wait_until(lambda: re.fullmatch(level, s.window()["title"]), 5,
                     f"the display's name to read {texts['IDS_LEVEL']!r}")

    def check_menu(self, s, texts):
        s.open_tray_menu()
        items = [texts[name] for name in ("IDS_CONTROLS", "IDS_SETTINGS", "IDS_DISABLE",
                                          "IDS_EXIT")]
        found = s.menu_texts(*items)
        self.assertEqual([t["text"] for t in found], items)
        self.assertEqual(len({t["left"] for t in found}), 1, f"items not aligned: {found}")

    def check_help_box(self, s, texts):
        s.click(*h.centre(s.menu_texts(texts["IDS_CONTROLS"])[0]))
        box = s.wait_for_boxes()[0]
        self.assertEqual(box["title"], texts["IDS_CONTROLS"])
        # probe shows each line break as |; the keys between the fixed words are
        # the system's names, but the gestures' and the page keys' are the program's.
        shown = box["text"].replace("|", "\r")
        parts = texts["IDS_HELP_TEXT"].split("%s")
        self.assertTrue(in_order(shown, [parts[0], texts["IDS_EDGE_WHEEL_WORDS"],
                                         texts["IDS_ALTERNATIVE"], texts["IDS_SHIFT"],
                                         texts["IDS_WHEEL_WORDS"], texts["IDS_TRAY_WHEEL"],
                                         texts["IDS_PGUP"], texts["IDS_PGDN"]] + parts[1:]),
                        shown)
        # Three gestures before the keys, each of them on a line of its own.
        self.assertEqual(shown.count("\r"), texts["IDS_HELP_TEXT"].count("\r") + 3, shown)
        s.press(box["hwnd"], h.IDOK)

    def check_settings_dialog(self, s, texts):
        s.open_tray_menu()
        s.click(*h.centre(s.menu_texts(texts["IDS_SETTINGS"])[0]))
        title = texts["IDS_SETTINGS_CAPTION"]
        dialog = h.wait_until(lambda: s.window(h.BOX_CLASS, title), 10, "the settings dialog")
        records = s.probe("dialog-texts", title)
        # The labels, group boxes, check boxes and buttons; the fields show values.
        controls = [r for r in records if r.get("record") == "control"
                    and r["class"] in ("Static", "Button")]
        shown = {int(c["id"]): c["text"] for c in controls}
        expected = {key: text for key, text in texts.items() if isinstance(key, int)}
        self.assertEqual(shown, expected)
        for control in controls:
            margin = CHECK_BOX if control["class"] == "Button" else 0
            self.assertLessEqual(int(control["needed"]) + margin, int(control["width"]),
                                 f"cut: {control}")
            self.assertLessEqual(int(control["right"]), int(dialog["right"]), f"out: {control}")
        self.assertLessEqual(int(dialog["right"]), h.SCREEN_WIDTH)
        s.press(dialog["hwnd"], IDCANCEL)


# Under emulation a language takes minutes: there a sample stands for the rest, the
# English source, the longest words (German) and a script of its own (Japanese).
EMULATION_SAMPLE = ("en_US", "de_DE", "ja_JP")


def language_test(locale):
    def test(self):
        self.run_in(locale)
    if locale in EMULATION_SAMPLE:
        return test
    return unittest.skipIf(h.SLOWNESS > 1, "a sample of the languages runs under emulation")(test)


for _locale in h.LANGUAGES:
    setattr(LanguagesTest, f"test_{_locale}", language_test(_locale))


if __name__ == "__main__":
    h.main()

"""A copy unpacked into a folder whose name lies outside the ANSI code page: its INI is
found and used, and "Start with Windows" names exactly that path."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

import harness as h

# Greek, Cyrillic and CJK: none of them fits Western Windows' code page 1252.
FOLDER = "\u03a9\u03bc\u03ad\u03b3\u03b1 \u0418\u0432\u0430\u043d \u8a66\u9a13"
LOCALE = "en_US.UTF-8"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
SETTINGS_TITLE = "Sonalto Settings"
RESOURCE_H = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                          "resource.h")


def resource_id(name):
    with open(RESOURCE_H) as header:
        return int(re.search(rf"#define {name} (\d+)", header.read()).group(1))


def ensure_locale():
    names = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if not {"en_US.utf8", "en_US.UTF-8"} & set(names):
        subprocess.run(["localedef", "-i", "en_US", "-f", "UTF-8", LOCALE], check=True)


class UnicodeFolderTest(unittest.TestCase):
    def setUp(self):
        ensure_locale()
        # Wine takes the ANSI code page from the locale: Western (1252) for this one,
        # while file names reach it in UTF-8.
        for name, value in (("LANG", LOCALE), ("LC_ALL", LOCALE)):
            self.addCleanup(lambda n=name, v=os.environ.get(name): os.environ.pop(n, None)
                            if v is None else os.environ.__setitem__(n, v))
            os.environ[name] = value

    def run_value(self, s):
        """The Run value as Wine's reg exports it, in UTF-16; None when absent."""
        query = subprocess.run(["wine", "reg", "query", RUN_KEY, "/v", "Sonalto"], env=s.env,
                               capture_output=True)
        exported = os.path.join(s.prefix, "drive_c", "run-export.reg")
        subprocess.run(["wine", "reg", "export", RUN_KEY, r"C:\run-export.reg", "/y"],
                       env=s.env, capture_output=True, check=True)
        with open(exported, "rb") as export:
            text = export.read().decode("utf-16")
        os.remove(exported)
        found = re.search(r'^"Sonalto"="((?:[^"\\]|\\.)*)"', text, re.MULTILINE)
        self.assertEqual(query.returncode == 0, found is not None, "query and export differ")
        return found and re.sub(r"\\(.)", r"\1", found.group(1))

    def toggle_start_with_windows(self, s):
        s.open_tray_menu()
        s.click(*h.centre(s.menu_texts("Settings...")[0]))
        dialog = s.wait_for_window("#32770")
        self.assertEqual(dialog["title"], SETTINGS_TITLE)
        self.assertTrue(s.press(dialog["hwnd"], resource_id("IDC_START_WITH_WINDOWS")))
        self.assertTrue(s.press(dialog["hwnd"], h.IDOK))
        h.wait_until(lambda: s.window("#32770") is None, 20, "the settings dialog to close")

    def test_the_ini_is_used_and_the_run_value_names_the_exact_path(self):
        root = tempfile.mkdtemp(prefix="sonalto-unicode-")
        self.addCleanup(shutil.rmtree, root)
        folder = os.path.join(root, FOLDER)
        os.mkdir(folder)
        for name in ("sonalto.exe", "morvask.dll"):
            shutil.copy(os.path.join(h.BIN_DIR, name), folder)
        # Saved as "UTF-8 with BOM", as many editors offer: Ctrl+Alt+Home for volume down.
        with open(os.path.join(folder, "sonalto.ini"), "wb") as ini:
            ini.write("\ufeff; \u8a2d\u5b9a\r\n[Sonalto]\r\nVolumeDownKey=0x00030024\r\n"
                      .encode("utf-8"))
        program_path = "Z:" + os.path.join(folder, "sonalto.exe").replace("/", "\\")
        with h.Session(h.BIN_DIR, sound=True) as s:
            self.addCleanup(subprocess.run, ["wine", "reg", "delete", RUN_KEY, "/v", "Sonalto",
                                             "/f"], env=s.env, capture_output=True)
            self.assertIsNone(self.run_value(s))
            program = s.wine_process([os.path.join(folder, "sonalto.exe")])
            s.wait_for_window()
            h.wait_until(lambda: s.send(h.WM_NULL).get("answered") == "1", 20, "the loop")
            s.start_desktop()
            s.key("ctrl+alt+Home")
            s.wait_for_display(65535 - 500, "ON")

            self.toggle_start_with_windows(s)
            self.assertEqual(self.run_value(s), f'"{program_path}"')
            s.focus_desktop()
            self.toggle_start_with_windows(s)
            self.assertIsNone(self.run_value(s))

            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(program), 0)


if __name__ == "__main__":
    h.main()

"""Run from a folder where DLLs of system names were planted, as a web page can drop
one into Downloads: the program loads none of them and works as ever. Each planted
DLL (bin/planted) leaves "<name>.loaded" beside itself when loaded."""

import glob
import os
import shutil
import struct
import tempfile
import unittest

import harness as h

FULL = 65535   # Wine's fader at start-up
STEP = 500     # one volume step after a pause
IDCANCEL = 2
MENU_ITEMS = ("Controls", "Settings...", "Disable", "Enable", "Exit")
# Not version.dll: Wine's own user32 imports it (Windows' does not), so Wine's loader
# takes a planted one by name while it loads user32, before any code of the program
# runs. Whether the program itself ever loads it is told by its imports below and by
# the unit tests of its loads.
PLANTED = ("winmm", "uxtheme", "dwmapi", "oleacc", "cryptbase", "propsys", "mmdevapi")
# Taken from the system folder whatever lies beside a program: Windows' KnownDLLs.
KNOWN_DLLS = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
              "shell32.dll", "user32.dll"}


def static_imports(path):
    """The DLL names of a 32-bit Windows program's import table, in lower case."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], \
        struct.unpack_from("<H", data, pe + 20)[0]
    import_rva = struct.unpack_from("<I", data, pe + 24 + 104)[0]  # data directory 1
    table = pe + 24 + optional_size

    def offset(rva):
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise AssertionError(f"{path}: RVA {rva:#x} is in no section")

    names, entry = [], offset(import_rva)
    while struct.unpack_from("<I", data, entry + 12)[0] != 0:
        start = offset(struct.unpack_from("<I", data, entry + 12)[0])
        names.append(data[start:data.index(b"\0", start)].decode().lower())
        entry += 20
    return names


class PlantedDllTest(unittest.TestCase):
    def test_only_the_hook_library_is_a_static_import_searched_beside_the_program(self):
        self.assertEqual(set(static_imports(os.path.join(h.BIN_DIR, "sonalto.exe"))) - KNOWN_DLLS,
                         {"morvask.dll"})

    def choose(self, s, item):
        s.open_tray_menu()
        texts = {t["text"]: t for t in s.menu_texts(*MENU_ITEMS)}
        s.click(*h.centre(texts[item]))
        s.wait_for_no_menu()

    def test_no_planted_dll_is_loaded_through_volume_settings_help_and_exit(self):
        folder = tempfile.mkdtemp(prefix="sonalto-downloads-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        for name in ("sonalto.exe", "morvask.dll"):
            shutil.copy(os.path.join(h.BIN_DIR, name), folder)
        for name in PLANTED:
            shutil.copy(os.path.join(h.BIN_DIR, "planted", name + ".dll"), folder)

        with h.Session(h.BIN_DIR, sound=True) as s:
            # Wine would take its own builtin before a DLL found anywhere: told to
            # prefer a native one, it loads what the search finds first, as Windows does.
            env = dict(s.env, WINEDLLOVERRIDES=s.env["WINEDLLOVERRIDES"] + ";" +
                       ",".join(PLANTED) + "=n,b")
            program = s.wine_process([os.path.join(folder, "sonalto.exe")], cwd=folder, env=env)
            try:
                s.wait_for_window(h.PROGRAM_CLASS)
                h.wait_until(lambda: s.send(h.WM_NULL).get("answered") == "1", 20,
                             "the program to reach its message loop")
                s.start_desktop()
                # The mixer device's winmm, now loaded from the system folder, steps.
                s.key("ctrl+alt+Next")
                s.wait_for_display(FULL - STEP, "ON")

                self.choose(s, "Settings...")
                dialog = s.wait_for_window(h.BOX_CLASS)
                self.assertEqual(dialog["title"], "Sonalto Settings")
                self.assertTrue(s.press(dialog["hwnd"], IDCANCEL))
                h.wait_until(lambda: s.window(h.BOX_CLASS) is None, 5, "the dialog to close")
                s.focus_desktop()

                self.choose(s, "Controls")
                self.assertEqual(s.wait_for_boxes()[0]["title"], "Controls")
                s.click_box_button(h.IDOK)
                h.wait_until(lambda: not s.boxes(), 5, "the help box to close")
                s.focus_desktop()

                self.choose(s, "Exit")
                self.assertEqual(s.wait_exit(program), 0)
            finally:
                self.assertEqual(sorted(os.path.basename(m) for m in
                                        glob.glob(os.path.join(folder, "*.loaded"))), [],
                                 "planted DLLs were loaded")


if __name__ == "__main__":
    h.main()

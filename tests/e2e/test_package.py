"""The release zip for Windows users, made by the build's `package` target, unpacked
as a user would and run from where it was unpacked."""

import os
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import harness as h

FULL = 65535   # Wine's fader at start-up
TEXTS = ("README.txt", "LICENSE.txt")


def cache_value(build_dir, name):
    with open(os.path.join(build_dir, "CMakeCache.txt")) as cache:
        for line in cache:
            key, _, value = line.rstrip("\n").partition("=")
            if key.partition(":")[0] == name:
                return value
    raise AssertionError(f"{name} is not in {build_dir}/CMakeCache.txt")


def version_resource(program):
    """The FileVersion string of a Windows program's version record."""
    data = open(program, "rb").read()
    key = "FileVersion\0".encode("utf-16-le")
    start = data.find(key)
    if start < 0:
        return None
    pos = start + len(key)
    while data[pos:pos + 2] == b"\0\0":   # padding up to the value
        pos += 2
    end = pos
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[pos:end].decode("utf-16-le")


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The zip is made here, by the very command a release is made with, so that
        # it always holds the program the other tests just ran; an old zip left in the
        # build tree must not stand in for it.
        build_dir = os.path.dirname(os.path.abspath(h.BIN_DIR))
        cls.version = cache_value(build_dir, "CMAKE_PROJECT_VERSION")
        cls.folder = f"sonalto-{cls.version}-win32"
        cls.zip_path = os.path.join(build_dir, cls.folder + ".zip")
        if os.path.exists(cls.zip_path):
            os.remove(cls.zip_path)
        started = time.monotonic()
        result = subprocess.run([cache_value(build_dir, "CMAKE_COMMAND"), "--build", build_dir,
                                 "--target", "package"], capture_output=True, timeout=600)
        output = (result.stdout + result.stderr).decode(errors="replace")
        if result.returncode != 0:
            raise AssertionError(f"the package target failed:\n{output}")
        print(f"package made in {time.monotonic() - started:.1f} s", file=sys.stderr)

    def unpack(self):
        """Unpacks the zip into a new temporary folder and returns that folder."""
        self.assertTrue(os.path.isfile(self.zip_path), f"{self.zip_path} was not made")
        temp = tempfile.TemporaryDirectory(prefix="sonalto-package-")
        self.addCleanup(temp.cleanup)
        with zipfile.ZipFile(self.zip_path) as archive:
            archive.extractall(temp.name)
        return temp.name

    def test_zip_holds_one_folder_with_the_program_its_library_and_two_windows_texts(self):
        with zipfile.ZipFile(self.zip_path) as archive:
            self.assertIsNone(archive.testzip(), "a damaged member")
            names = sorted(archive.namelist())
        self.assertEqual(names, sorted(f"{self.folder}/{name}" for name in
                                       ("sonalto.exe", "morvask.dll") + TEXTS))

        folder = os.path.join(self.unpack(), self.folder)
        # The name a user downloads carries the version the program itself reports.
        self.assertEqual(version_resource(os.path.join(folder, "sonalto.exe")), self.version)
        with open(os.path.join(folder, "morvask.dll"), "rb") as library:
            self.assertEqual(library.read(2), b"MZ")
        for name in TEXTS:
            with open(os.path.join(folder, name), "rb") as f:
                text = f.read()
            line_ends = text.count(b"\r\n")
            self.assertEqual((text.count(b"\r"), text.count(b"\n")), (line_ends, line_ends),
                             f"{name} has line ends other than CRLF")
            self.assertTrue(text.endswith(b"\r\n"), f"{name} does not end with CRLF")
            self.assertGreater(line_ends, 10, f"{name} is too short")
            self.assertNotIn(b"@", text, f"{name} has a placeholder left")
            text.decode("ascii")   # plain text that any Windows code page shows alike
        readme = open(os.path.join(folder, "README.txt"), "rb").read().decode()
        self.assertTrue(readme.startswith(f"Sonalto {self.version}\r\n"), readme[:40])
        for words in ("sonalto.exe", "shell:startup", "Ctrl+Alt+PgUp", "Ctrl+Alt+PgDn",
                      "Ctrl+Alt+M", "Shift+Pause", "Exit"):
            self.assertIn(words, readme)
        license_text = open(os.path.join(folder, "LICENSE.txt"), "rb").read().decode()
        self.assertTrue(license_text.startswith("MIT License\r\n"))
        self.assertIn("Copyright (c) 2026 the Sonalto developers", license_text)

    def test_unpacked_program_runs_with_the_library_beside_it_and_ends_with_code_0(self):
        root = self.unpack()
        folder = os.path.join(root, self.folder)
        program = os.path.join(folder, "sonalto.exe")
        library, aside = os.path.join(folder, "morvask.dll"), os.path.join(root, "aside")
        with h.Session(h.BIN_DIR, sound=True) as s:
            # Started with a working folder that holds no library. First without the
            # library beside the program: no other copy of it may be within reach, or
            # the run below would not prove that the zip's own one works.
            os.mkdir(aside)
            os.rename(library, os.path.join(aside, "morvask.dll"))
            self.assertNotEqual(s.wait_exit(s.wine_process([program], cwd=root)), 0)
            self.assertIsNone(s.window())
            os.rename(os.path.join(aside, "morvask.dll"), library)

            process = s.wine_process([program], cwd=root)
            s.wait_for_window(h.PROGRAM_CLASS)
            h.wait_until(lambda: s.send(h.WM_NULL).get("answered") == "1", 20,
                         "the program to reach its message loop")
            self.assertEqual(len(s.tray_icons()), 1, "one tray icon while running")
            s.start_desktop()
            s.key("ctrl+alt+m")
            s.wait_for_display(FULL, "Mute")
            s.send(h.WM_CLOSE)
            self.assertEqual(s.wait_exit(process), 0)
            self.assertIsNone(s.window())


if __name__ == "__main__":
    h.main()

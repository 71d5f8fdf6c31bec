"""The release's manifests, made by packaging/release.py from the build's zip, read
back as winget and Scoop read them and checked against the zip itself."""

import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

import yaml

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = sys.argv.pop(1)
URL_BASE = "https://downloads.example.org/sonalto/"
WINGET_REQUIRED = {   # each manifest type's required fields, by its schema
    "version": {"DefaultLocale"}, "installer": {"Installers"},
    "defaultLocale": {"PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"}}


def release(dist, changelog):
    subprocess.run([sys.executable, os.path.join(SOURCE, "packaging", "release.py"), BUILD, dist,
                    URL_BASE.rstrip("/"), changelog], check=True)
    return dist


class ReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run(["cmake", "--build", BUILD, "--target", "package"], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(BUILD, "CMakeCache.txt")) as cache:
            cls.version = re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.*)$", cache.read(), re.M)[1]
        cls.temp = tempfile.TemporaryDirectory(prefix="sonalto-release-")
        cls.dist = release(os.path.join(cls.temp.name, "dist"), os.path.join(SOURCE, "CHANGELOG.md"))
        cls.zip_name = f"sonalto-{cls.version}-win32.zip"
        with open(os.path.join(cls.dist, cls.zip_name), "rb") as f:
            cls.sha256 = hashlib.sha256(f.read()).hexdigest()
        cls.names = zipfile.ZipFile(os.path.join(cls.dist, cls.zip_name)).namelist()
        cls.winget = {}
        for name in os.listdir(os.path.join(cls.dist, "winget")):
            with open(os.path.join(cls.dist, "winget", name)) as f:
                manifest = yaml.safe_load(f)
            cls.winget[manifest["ManifestType"]] = manifest
        with open(os.path.join(cls.dist, "sonalto.json")) as f:
            cls.scoop = json.load(f)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def test_checksums_and_both_manifests_name_the_zip_its_hash_folder_and_version(self):
        subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=self.dist,
                       check=True, stdout=subprocess.DEVNULL)
        self.assertEqual({name.split("/")[0] for name in self.names}, {self.zip_name[:-4]})
        self.assertEqual(set(self.winget), set(WINGET_REQUIRED))
        for kind, manifest in self.winget.items():
            self.assertLessEqual(WINGET_REQUIRED[kind], set(manifest), kind)
            self.assertEqual((manifest["PackageIdentifier"], manifest["PackageVersion"]),
                             (self.winget["version"]["PackageIdentifier"], self.version))
            self.assertGreaterEqual(tuple(map(int, manifest["ManifestVersion"].split("."))),
                                    (1, 6, 0))
        installer = self.winget["installer"]
        self.assertEqual((installer["InstallerType"], installer["NestedInstallerType"]),
                         ("zip", "portable"))
        self.assertIn(installer["NestedInstallerFiles"][0]["RelativeFilePath"], self.names)
        self.assertEqual(installer["Installers"], [{
            "Architecture": "x86", "InstallerUrl": URL_BASE + self.zip_name,
            "InstallerSha256": self.sha256.upper()}])

        scoop = self.scoop
        self.assertEqual((scoop["version"], scoop["url"], scoop["hash"]),
                         (self.version, URL_BASE + self.zip_name, self.sha256))
        self.assertIn(f"{scoop['extract_dir']}/{scoop['shortcuts'][0][0]}", self.names)
        self.assertIn(scoop["persist"], scoop["pre_install"])
        # The next release is found in the newest SHA256SUMS, its zip named as this one.
        with open(os.path.join(self.dist, "SHA256SUMS")) as f:
            self.assertEqual(re.search(scoop["checkver"]["regex"], f.read())[1], self.version)
        update = scoop["autoupdate"]
        self.assertEqual((update["url"].replace("$version", self.version),
                          update["extract_dir"].replace("$version", self.version)),
                         (scoop["url"], scoop["extract_dir"]))

    def test_release_notes_are_the_changelog_entry_of_this_version_alone(self):
        changelog = os.path.join(self.temp.name, "CHANGELOG.md")
        with open(changelog, "w") as f:
            f.write(f"# Changelog\n\n## [Unreleased]\n\n- not yet\n\n## [{self.version}] - 2026-12-08"
                    "\n\n### Fixed\n\n- one item\n  wrapped\n\n## [0.9] - 2026-01-01\n\n- old\n")
        dist = release(os.path.join(self.temp.name, "notes"), changelog)
        with open(os.path.join(dist, "winget", "Brelin.Sonalto.locale.en-US.yaml")) as f:
            self.assertEqual(yaml.safe_load(f)["ReleaseNotes"], "### Fixed\n\n- one item wrapped\n")


if __name__ == "__main__":
    unittest.main()

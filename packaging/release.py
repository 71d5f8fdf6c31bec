"""Writes a release's files into dist/: the zip from the release build, SHA256SUMS,
the winget manifests and the Scoop manifest, every version and hash read from the
build and its zip, and the release notes from CHANGELOG.md's entry for the version.

usage: release.py <release build> <dist> <url base> <CHANGELOG.md>
"""

import hashlib
import json
import os
import re
import shutil
import sys

import yaml

IDENTIFIER = "Brelin.Sonalto"
NAME = "Sonalto"
PUBLISHER = "Brelin"
LICENSE = "MIT"
DESCRIPTION = "Changes the speakers' master volume with the mouse wheel or hotkeys, from the tray."
# 1.10.0: the first schema with ArchiveBinariesDependOnPath.
WINGET_SCHEMA = "1.10.0"


def project_version(build):
    with open(os.path.join(build, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith("CMAKE_PROJECT_VERSION:"):
                return line.rstrip("\n").partition("=")[2]
    raise SystemExit(f"no project version in {build}/CMakeCache.txt")


def release_notes(changelog, version):
    """The body of the changelog's entry headed `## [<version>]`."""
    text = open(changelog, encoding="utf-8").read()
    match = re.search(rf"^## \[{re.escape(version)}\][^\n]*\n(.*?)(?=^## |\Z)", text, re.M | re.S)
    if not match or not match.group(1).strip():
        raise SystemExit(f"{changelog} has no entry for {version}")
    # An item's wrapped lines joined, as a package manager shows the notes unwrapped.
    return re.sub(r"\n +", " ", match.group(1).strip()) + "\n"


class ManifestDumper(yaml.SafeDumper):
    """Writes texts of several lines as YAML blocks, the notes readable as written."""


ManifestDumper.add_representer(str, lambda dumper, text: dumper.represent_scalar(
    "tag:yaml.org,2002:str", text, style="|" if "\n" in text else None))


def write_yaml(path, kind, fields):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}"
                f".{WINGET_SCHEMA}.schema.json\n")
        yaml.dump({**fields, "ManifestType": kind, "ManifestVersion": WINGET_SCHEMA}, f,
                  Dumper=ManifestDumper, sort_keys=False, allow_unicode=True, width=100)


def write_winget(folder, version, zip_name, sha256, url_base, notes):
    """The three files `winget install --manifest <folder>` reads."""
    os.makedirs(folder, exist_ok=True)
    package = {"PackageIdentifier": IDENTIFIER, "PackageVersion": version}
    write_yaml(os.path.join(folder, f"{IDENTIFIER}.yaml"), "version",
               {**package, "DefaultLocale": "en-US"})
    write_yaml(os.path.join(folder, f"{IDENTIFIER}.installer.yaml"), "installer", {
        **package,
        "InstallerType": "zip",
        "NestedInstallerType": "portable",
        "NestedInstallerFiles": [{"RelativeFilePath": f"{zip_name[:-4]}/sonalto.exe",
                                  "PortableCommandAlias": "sonalto"}],
        # The program loads morvask.dll from its own folder: started through a link
        # elsewhere it would not find it, so its folder goes on the PATH instead.
        "ArchiveBinariesDependOnPath": True,
        "Installers": [{"Architecture": "x86", "InstallerUrl": url_base + zip_name,
                        "InstallerSha256": sha256.upper()}],
    })
    write_yaml(os.path.join(folder, f"{IDENTIFIER}.locale.en-US.yaml"), "defaultLocale", {
        **package,
        "PackageLocale": "en-US",
        "Publisher": PUBLISHER,
        "PackageName": NAME,
        "PackageUrl": url_base,
        "License": LICENSE,
        "ShortDescription": DESCRIPTION,
        "ReleaseNotes": notes,
        "ReleaseNotesUrl": url_base + "CHANGELOG.md",
    })


def scoop_manifest(version, zip_name, sha256, url_base):
    """A portable copy: sonalto.ini, made empty before the first start, keeps the
    settings beside the program and survives updates. The newest release's
    SHA256SUMS in the download folder names its zip, so it tells the version too."""
    folder = "sonalto-$version-win32"
    return {
        "version": version,
        "description": DESCRIPTION,
        "homepage": url_base,
        "license": LICENSE,
        "url": url_base + zip_name,
        "hash": sha256,
        "extract_dir": zip_name[:-4],
        "pre_install": 'if (!(Test-Path "$dir\\sonalto.ini")) { New-Item "$dir\\sonalto.ini" '
                       '-ItemType File | Out-Null }',
        "shortcuts": [["sonalto.exe", NAME]],
        "persist": "sonalto.ini",
        "checkver": {"url": url_base + "SHA256SUMS", "regex": r"sonalto-([\d.]+)-win32\.zip"},
        "autoupdate": {"url": f"{url_base}{folder}.zip", "extract_dir": folder,
                       "hash": {"url": "$baseurl/SHA256SUMS"}},
    }


def main(build, dist, url_base, changelog):
    version = project_version(build)
    zip_name = f"sonalto-{version}-win32.zip"
    url_base = url_base if url_base.endswith("/") else url_base + "/"
    notes = release_notes(changelog, version)
    shutil.rmtree(dist, ignore_errors=True)
    os.makedirs(dist)
    shutil.copyfile(os.path.join(build, zip_name), os.path.join(dist, zip_name))
    shutil.copyfile(changelog, os.path.join(dist, "CHANGELOG.md"))
    sha256 = hashlib.sha256(open(os.path.join(dist, zip_name), "rb").read()).hexdigest()
    with open(os.path.join(dist, "SHA256SUMS"), "w", newline="\n") as sums:
        sums.write(f"{sha256}  {zip_name}\n")
    write_winget(os.path.join(dist, "winget"), version, zip_name, sha256, url_base, notes)
    with open(os.path.join(dist, "sonalto.json"), "w", newline="\n") as f:
        json.dump(scoop_manifest(version, zip_name, sha256, url_base), f, indent=4)
        f.write("\n")


if __name__ == "__main__":
    main(*sys.argv[1:])

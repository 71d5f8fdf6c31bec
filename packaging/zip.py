"""Writes the release zip so that the same files always give the same bytes, whoever
makes it, wherever and whenever: the entries in name order, each dated at the
commit's time and with fixed attributes, and nothing of the builder's own (no
owner, no extra time fields).

usage: zip.py <zip> <folder> <source tree>
The folder goes in whole, under its own name. The time is SOURCE_DATE_EPOCH when
set, else the source tree's last commit, else the earliest a zip can carry.
"""

import os
import stat
import subprocess
import sys
import time
import zipfile

ZIP_EPOCH = 315532800   # 1980-01-01 00:00:00 UTC


def commit_time(source):
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value:
        try:
            value = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                                   capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            value = ""
    return max(int(value or ZIP_EPOCH), ZIP_EPOCH)


def write_zip(zip_path, folder, source):
    # UTC, since a zip's times carry no zone and the builder's must not matter.
    stamp = time.gmtime(commit_time(source))[:6]
    parent = os.path.dirname(os.path.abspath(folder))
    paths = sorted(os.path.join(root, name) for root, _, names in os.walk(folder)
                   for name in names)
    with zipfile.ZipFile(zip_path, "w") as archive:
        for path in paths:
            entry = zipfile.ZipInfo(os.path.relpath(path, parent).replace(os.sep, "/"), stamp)
            # Unix modes, so that a zip unpacked there keeps the program runnable;
            # only the executable bit is taken from the file, not the umask's rest.
            entry.create_system = 3
            mode = 0o755 if os.stat(path).st_mode & stat.S_IXUSR else 0o644
            entry.external_attr = (stat.S_IFREG | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(entry, f.read(), compresslevel=9)


if __name__ == "__main__":
    write_zip(*sys.argv[1:])

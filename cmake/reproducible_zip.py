"""Writes a ZIP of every file under a folder, the same bytes for the same files.

Usage: reproducible_zip.py ZIP FOLDER EPOCH

Entries are sorted by path and each carries EPOCH (seconds since 1970, UTC) as
its time, the permissions of its file and nothing else: no owner, no access or
change time, no entries for folders. Run by cmake/reproducible_zip.cmake.
"""

import os
import stat
import sys
import time
import zipfile


def main(zip_path: str, folder: str, epoch: int) -> None:
    # A ZIP entry's time is a DOS date: local time, from 1980, in steps of two
    # seconds. Taking it in UTC makes it the same in every time zone.
    date_time = time.gmtime(max(epoch, 315532800))[:6]
    paths = []
    for parent, _, files in os.walk(folder):
        paths += [os.path.relpath(os.path.join(parent, f), folder) for f in files]
    names = sorted(p.replace(os.sep, "/") for p in paths)
    with zipfile.ZipFile(zip_path, "w") as archive:
        for name in names:
            full = os.path.join(folder, name)
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 3  # Unix, so that the permissions below are read
            info.external_attr = (stat.S_IFREG | stat.S_IMODE(os.stat(full).st_mode)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(full, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


if __name__ == "__main__":
    if len(sys.argv) != 4 or not sys.argv[3].isdigit():
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))

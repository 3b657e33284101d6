"""Writes a ZIP of every file under a folder, the same bytes for the same files.

Usage: reproducible_zip.py ZIP FOLDER EPOCH
       reproducible_zip.py --replace ZIP NAME FILE OUT

Entries are sorted by path and each carries EPOCH (seconds since 1970, UTC) as
its time, the permissions of its file and nothing else: no owner, no access or
change time, no entries for folders. Run by cmake/reproducible_zip.cmake.

With --replace, writes ZIP again as OUT with the entry NAME holding FILE's
bytes and every entry's name, time and permissions kept: the archive packaging
would have written had FILE been built in NAME's place (release/sign-release
puts the signed exe in the package this way).
"""

import os
import stat
import sys
import time
import zipfile


def _add(archive, name, date_time, mode, data):
    info = zipfile.ZipInfo(name, date_time)
    info.create_system = 3  # Unix, so that the permissions below are read
    info.external_attr = (stat.S_IFREG | stat.S_IMODE(mode)) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data, compresslevel=9)


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
            with open(full, "rb") as f:
                _add(archive, name, date_time, os.stat(full).st_mode, f.read())


def replace(zip_path: str, name: str, file: str, out: str) -> None:
    with zipfile.ZipFile(zip_path) as source:
        if name not in source.namelist():
            sys.exit(f"{zip_path} holds no {name}")
        with zipfile.ZipFile(out, "w") as archive:
            for info in source.infolist():
                if info.filename == name:
                    with open(file, "rb") as f:
                        data = f.read()
                else:
                    data = source.read(info)
                _add(archive, info.filename, info.date_time, info.external_attr >> 16, data)


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "--replace":
        replace(*sys.argv[2:])
    elif len(sys.argv) == 4 and sys.argv[3].isdigit():
        main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
    else:
        sys.exit(__doc__)

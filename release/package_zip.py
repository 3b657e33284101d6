"""The package's ZIP read as hostile, for the one file in it that signing and
verifying need.

unzip     the one entry NAME of a ZIP of the form a package has: every entry a
          plain file from a Unix system, deflated, its name inside the ZIP (not
          absolute, no '..', no backslash, no drive) and not repeated; never more
          than MAX_ENTRY bytes written. Each refusal is a Refused naming what is
          wrong.
"""

import stat
import zipfile

MAX_ZIP = 16 << 20  # the package is about 150 kB and its exe 300 kB: anything near this is not ours
MAX_ENTRY = 16 << 20


class Refused(Exception):
    pass


ENTRY_KINDS = {stat.S_IFLNK: "a link", stat.S_IFCHR: "a character device", stat.S_IFBLK: "a block device",
               stat.S_IFIFO: "a FIFO", stat.S_IFSOCK: "a socket", stat.S_IFDIR: "a folder"}
SYSTEMS = {0: "MS-DOS or Windows", 11: "NTFS", 14: "VFAT", 19: "macOS"}


def unzip(zip_path, name, out):
    try:
        archive = zipfile.ZipFile(zip_path)
    except zipfile.BadZipFile as e:
        raise Refused(f"not a ZIP file: {e}")
    with archive:
        seen = set()
        for info in archive.infolist():
            n = info.filename
            if n.startswith("/") or "\\" in n or ".." in n.split("/") or n[1:2] == ":":
                raise Refused(f"the ZIP has an entry outside its own folder: {n!r}")
            if info.create_system != 3:
                raise Refused(f"the ZIP was made on {SYSTEMS.get(info.create_system, f'system {info.create_system}')}, "
                              f"not Unix, so its entries have no file modes ({n!r}); a package is zipped on Unix")
            mode = info.external_attr >> 16
            if not stat.S_ISREG(mode):
                kind = ENTRY_KINDS.get(stat.S_IFMT(mode), f"an entry of file type {stat.S_IFMT(mode):#o}")
                raise Refused(f"the ZIP has {kind} among its entries: {n!r}; a package holds plain files only")
            if n in seen:
                raise Refused(f"the ZIP has two entries named {n!r}")
            seen.add(n)
            # Others (bzip2, LZMA) expand without an output limit in zipfile: a bomb.
            if info.compress_type != zipfile.ZIP_DEFLATED:
                raise Refused(f"the ZIP's entry {n!r} is compressed by method {info.compress_type}; "
                              "a package's entries are deflated (8)")
        if name not in seen:
            raise Refused(f"the ZIP has no entry {name}")
        written = 0
        with archive.open(name) as source, open(out, "xb") as target:
            while chunk := source.read(1 << 16):
                written += len(chunk)
                if written > MAX_ENTRY:
                    raise Refused(f"{name} in the ZIP expands past {MAX_ENTRY} bytes, more than an exe of ours can be")
                target.write(chunk)

#!/usr/bin/env python3
"""Says how the exe's string tables differ from their source,
src/bin/tray/languages.json, and fails when they do: each language's table
under its own id, holding exactly its texts under their ids, and no other.

    resource_texts.py EXE
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "bin", "tray"))
import languages  # noqa: E402

RT_STRING = 6


def resources(exe):
    """{(type, name, language): bytes} from the PE file's resource directory."""
    with open(exe, "rb") as source:
        data = source.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<2xH12xH", data, pe + 4)
    optional = pe + 24
    plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
    directory = struct.unpack_from("<I", data, optional + (112 if plus else 96) + 2 * 8)[0]

    def offset(address):
        for section in range(sections):
            size, start, _, raw = struct.unpack_from("<IIII", data, pe + 24 + optional_size +
                                                     40 * section + 8)
            if start <= address < start + size:
                return address - start + raw
        raise ValueError(f"address {address:#x} is in no section of {exe}")

    root = offset(directory)

    def entries(at):
        named, numbered = struct.unpack_from("<HH", data, root + at + 12)
        for entry in range(named + numbered):
            key, child = struct.unpack_from("<II", data, root + at + 16 + 8 * entry)
            yield key, child & 0x7FFFFFFF

    found = {}
    for kind, names in entries(0):
        for name, langs in entries(names):
            for lang, leaf in entries(langs):
                address, size = struct.unpack_from("<II", data, root + leaf)
                found[kind, name, lang] = data[offset(address):offset(address) + size]
    return found


def strings(block):
    """The 16 strings of a string table block, each its length and its UTF-16 units."""
    texts, at = [], 0
    while at + 2 <= len(block) and len(texts) < 16:
        length = struct.unpack_from("<H", block, at)[0]
        texts.append(block[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    return texts


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} EXE")
    tables, ids, _ = languages.load()
    tags = {int(table["id"], 16): table["tag"] for table in tables}
    wanted = {(int(table["id"], 16), number): table["texts"][name]
              for table in tables for name, (number, _) in ids.items()}
    found = {}
    for (kind, block, lang), data in resources(sys.argv[1]).items():
        if kind == RT_STRING:
            for index, text in enumerate(strings(data)):
                if text:
                    found[lang, (block - 1) * 16 + index] = text
    differ = [key for key in sorted(set(found) | set(wanted)) if found.get(key) != wanted.get(key)]
    for key in differ:
        exe, source = (repr(texts[key]) if key in texts else "nothing" for texts in (found, wanted))
        print(f"    table {key[0]:#06x} ({tags.get(key[0], 'no language of the source')}), "
              f"text {key[1]}: {exe} in the exe, {source} in the source")
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The tray's texts in every language, from their one source: checks it and
makes from it what the build and the docs need.

    languages.py [--rc OUT] [--table OUT] [--texts OUT] [--depfile OUT] [--doc MARKDOWN [--check]]

The source, src/bin/tray/languages.json, names the headers that define the
text ids ("#define IDS_NAME number"; text_ids, by role: menu or dialog) and
holds one table per language:
  language   its name in English, for the docs
  tag        the language as Windows names it (en-US, de, zh-Hant, sr-Latn)
  id         the resource language id Windows gives that name (LocaleNameToLCID)
  right_to_left  whether the language reads right to left (Arabic, Hebrew, Persian, Urdu)
  also_for   other names the table is chosen for ("pt": every Portuguese but pt-BR)
  windows_display_languages  the display languages of Windows that get this table
  texts      each text by the name of its id
The first table is English (US). A source that breaks a rule fails with the
rule and the text that broke it.

--rc writes the resource script of the string tables, --table the C++ table the
program chooses its language from, --texts each table's texts as C++ for the tests
that read them where the program shows them, --depfile the files these were made from;
--doc replaces the table in the Markdown file, or with --check fails unless it
is already what would be written there.
"""
import argparse
import json
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
SOURCE = os.path.join(HERE, "languages.json")
PRODUCT = "Pellox Desktop"
LOG_FILE = "pellox-desktop-error.log"
DOC_START = "<!-- made by src/bin/tray/languages.py from src/bin/tray/languages.json -->"
DOC_END = "<!-- end of the table -->"
FIELDS = {"language", "tag", "id", "right_to_left", "also_for", "windows_display_languages",
          "texts"}


class Invalid(Exception):
    pass


def read_ids(text_ids):
    """{name: (id, role)} from the headers, in id order."""
    ids = {}
    for role, header in text_ids.items():
        if role not in ("menu", "dialog"):
            raise Invalid(f"text_ids: {role} is no role; a text is for the menu or the dialog")
        with open(os.path.join(ROOT, header), encoding="utf-8") as source:
            for name, number in re.findall(r"^#define (IDS_\w+) (\d+)\s*$", source.read(), re.M):
                ids[name] = (int(number), role)
    numbers = [number for number, _ in ids.values()]
    if not ids or len(set(numbers)) != len(numbers):
        raise Invalid("the headers define no text ids, or one id twice")
    return dict(sorted(ids.items(), key=lambda item: item[1][0]))


def holds_name(text, name):
    """Whether the text has the name as it is: not run on into Latin letters or digits (a
    Korean particle or a Hebrew prefix may join it), and a file name not into a longer one."""
    before, after = (r"[A-Za-z0-9_.-]", r"[A-Za-z0-9_-]|\.[A-Za-z0-9]") if name == LOG_FILE else (
        r"[A-Za-z0-9]", r"[A-Za-z0-9]")
    return re.search(f"(?<!{before}){re.escape(name)}(?!{after})", text) is not None


def check_texts(table, ids, english):
    where = table["tag"]
    texts = table["texts"]
    if set(texts) != set(ids):
        raise Invalid(f"{where}: has texts {sorted(texts)}, the headers define {sorted(ids)}")
    seen = {}
    for name, text in texts.items():
        role = ids[name][1]
        if not isinstance(text, str) or not text.strip() or text != text.strip():
            raise Invalid(f"{where} {name}: empty, or blank at an end: {text!r}")
        if text in seen:
            raise Invalid(f"{where}: {name} and {seen[text]} read the same: {text!r}")
        seen[text] = name
        for kept in (PRODUCT, LOG_FILE):
            if holds_name(english[name], kept) and not holds_name(text, kept):
                raise Invalid(f"{where} {name}: lacks \"{kept}\" as it is: {text!r}")
        # A menu shows && as & and makes a single & a keyboard mnemonic; a message box shows both.
        if role == "menu" and "&" in text.replace("&&", ""):
            raise Invalid(f"{where} {name}: a single & in a menu text (a mnemonic): {text!r}")
        if role == "dialog" and "&&" in text:
            raise Invalid(f"{where} {name}: && in the dialog, which shows both: {text!r}")
        paragraphs = text.split("\n\n")
        if len(paragraphs) != len(english[name].split("\n\n")) or any(
                not p.strip() or "\n" in p for p in paragraphs):
            raise Invalid(f"{where} {name}: not the paragraphs of the English text: {text!r}")


def check_table(table, names, numbers, ids, english):
    tag = table.get("tag", "?")
    if set(table) != FIELDS:
        raise Invalid(f"{tag}: has the fields {sorted(table)}, a table has {sorted(FIELDS)}")
    if not re.fullmatch(r"0x[0-9A-F]{4}", table["id"]) or table["id"] in numbers:
        raise Invalid(f"{tag}: id {table['id']} is not 0x and four upper-case hex digits, "
                      "or is another table's")
    numbers.add(table["id"])
    if not isinstance(table["right_to_left"], bool):
        raise Invalid(f"{tag}: right_to_left is true or false")
    for name in [tag, *table["also_for"], *table["windows_display_languages"]]:
        if not re.fullmatch(r"[A-Za-z]{2,3}(-[A-Za-z0-9]{2,8})*", name):
            raise Invalid(f"{tag}: {name!r} is not a language's name")
        if names.setdefault(name.lower(), tag) != tag:
            raise Invalid(f"{name} is named by the tables {names[name.lower()]} and {tag}")
    check_texts(table, ids, english)


def load(path=SOURCE):
    """The tables and the text ids, once every rule holds; the headers read."""
    with open(path, encoding="utf-8") as source:
        return check(json.load(source))


def check(data):
    ids = read_ids(data["text_ids"])
    tables = data["languages"]
    if not tables or tables[0].get("tag") != "en-US":
        raise Invalid("the first table is English (US), which every other language falls back to")
    names, numbers = {}, set()
    for table in tables:
        check_table(table, names, numbers, ids, tables[0]["texts"])
    headers = [os.path.join(ROOT, header) for header in data["text_ids"].values()]
    return tables, ids, headers


def as_shown(table, ids):
    """Each text by its id as the exe holds it. A menu item's text has no reading order of its
    own (Wine draws the right-order item type as the system menu's icon), so a right-to-left
    language's menu texts are embedded right to left (U+202B ... U+202C): they then read right
    to left in a menu of either reading order. The dialog is asked for right-to-left reading."""
    return {number: f"\u202b{table['texts'][name]}\u202c"
            if table["right_to_left"] and role == "menu" else table["texts"][name]
            for name, (number, role) in ids.items()}


def rc_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""').replace("\n", "\\n") + '"'


def make_rc(tables, ids):
    lines = ["// Made by src/bin/tray/languages.py from src/bin/tray/languages.json: edit that.",
             "#pragma code_page(65001)"]
    for table in tables:
        number = int(table["id"], 16)
        lines += ["", f"// {table['language']}: {table['tag']}",
                  f"LANGUAGE 0x{number & 0x3FF:02X}, 0x{number >> 10:02X}", "STRINGTABLE", "BEGIN"]
        shown = as_shown(table, ids)
        lines += [f"    {text_id} {rc_string(shown[text_id])}  // {name}"
                  for name, (text_id, _) in ids.items()]
        lines.append("END")
    return "\n".join(lines) + "\n"


def make_table(tables):
    rows = []
    for table in tables:
        direction = "RightToLeft" if table["right_to_left"] else "LeftToRight"
        also = " ".join(table["also_for"])
        rows.append(f'    {{"{table["tag"]}", {table["id"]}, platform::TextDirection::{direction}, '
                    f'"{also}"}},')
    shown = [f'    {{"{name}", "{table["tag"]}"}},' for table in tables
             for name in table["windows_display_languages"]]
    return "\n".join([
        "// Made by src/bin/tray/languages.py from src/bin/tray/languages.json: edit that.",
        "#pragma once", "", "#include <string_view>", "#include <utility>", "",
        '#include "lifecycle/ui_language.h"', "", "namespace lifecycle {", "",
        "// English (US) first.",
        "inline constexpr Language kLanguages[] = {", *rows, "};", "",
        "// Each display language Windows offers, and the tag of the table it gets.",
        "inline constexpr std::pair<std::string_view, std::string_view> kDisplayLanguages[] = {",
        *shown, "};", "", "}  // namespace lifecycle", ""])


def make_texts(tables, ids):
    def literal(text):
        return 'L"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'
    size = max(number for number, _ in ids.values()) + 1
    by_number = {number: name for name, (number, _) in ids.items()}
    rows = []
    for table in tables:
        texts = [literal(table["texts"][by_number[n]]) if n in by_number else "nullptr"
                 for n in range(size)]
        rows.append(f'    {{"{table["tag"]}", {{{", ".join(texts)}}}}},')
    return "\n".join([
        "// Made by src/bin/tray/languages.py from src/bin/tray/languages.json: edit that.",
        "#pragma once", "", "#include <string_view>", "", "namespace lifecycle {", "",
        "// Each table's texts by their ids, in the order of kLanguages.",
        "struct LanguageTexts {", "    std::string_view tag;",
        f"    const wchar_t* by_id[{size}];", "};",
        "inline constexpr LanguageTexts kLanguageTexts[] = {", *rows, "};", "",
        "}  // namespace lifecycle", ""])


def doc_cell(text):
    return text.replace("|", "\\|").replace("\n", "<br>")


def make_doc_table(tables, ids):
    english = tables[0]["texts"]
    head = ["language", "table", "Windows display languages", "its names"]
    head += [f"{number}: {english[name] if role == 'menu' else 'failure dialog'}"
             for name, (number, role) in ids.items()]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for table in tables:
        reads = ", right to left" if table["right_to_left"] else ""
        cells = [table["language"], f"{table['tag']} ({table['id']}{reads})",
                 ", ".join(table["windows_display_languages"]),
                 ", ".join([table["tag"], *table["also_for"]])]
        cells += [doc_cell(table["texts"][name]) for name in ids]
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join([DOC_START, *lines, DOC_END])


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(text)


def update_doc(path, tables, ids, check):
    with open(path, encoding="utf-8") as source:
        doc = source.read()
    start, end = doc.find(DOC_START), doc.find(DOC_END)
    if start < 0 or end < start:
        sys.exit(f"{path}: no table between {DOC_START} and {DOC_END}")
    made = doc[:start] + make_doc_table(tables, ids) + doc[end + len(DOC_END):]
    if not check:
        write(path, made)
    elif made != doc:
        sys.exit(f"{path}: its table is not the one {SOURCE} makes; "
                 f"to make it, run: python3 {__file__} --doc {path}")


def main():
    parser = argparse.ArgumentParser(description="The tray's texts in every language.")
    for option in ("--rc", "--table", "--texts", "--depfile", "--doc"):
        parser.add_argument(option)
    parser.add_argument("--check", action="store_true")
    arguments = parser.parse_args()
    try:
        tables, ids, headers = load()
    except (Invalid, OSError, ValueError, KeyError, TypeError, AttributeError) as error:
        sys.exit(f"{SOURCE}: {error}")
    made = [(arguments.rc, lambda: make_rc(tables, ids)),
            (arguments.table, lambda: make_table(tables)),
            (arguments.texts, lambda: make_texts(tables, ids))]
    for path, make in made:
        if path:
            write(path, make())
    if arguments.depfile:
        def names(paths):
            return " ".join(os.path.abspath(path).replace(" ", "\\ ") for path in paths)
        outputs = names(path for path, _ in made if path)
        write(arguments.depfile, f"{outputs}: {names([SOURCE, __file__, *headers])}\n")
    if arguments.doc:
        update_doc(arguments.doc, tables, ids, arguments.check)


if __name__ == "__main__":
    main()

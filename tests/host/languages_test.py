"""src/bin/tray/languages.py: each rule refusing a source that breaks it, and the texts as the exe
holds them: right-to-left menu texts that read right to left in a menu of either reading order
(FriBidi, the Unicode bidi algorithm), every other text exactly as written."""

import copy
import ctypes
import functools
import json
import operator
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "bin", "tray"))
import languages  # noqa: E402

with open(languages.SOURCE, encoding="utf-8") as source:
    SOURCE = json.load(source)
FRIBIDI = ctypes.CDLL("libfribidi.so.0")
LTR, RTL = 0x110, 0x111  # FRIBIDI_PAR_LTR, FRIBIDI_PAR_RTL
EMBEDDINGS = "\u202a\u202b\u202c\u202d\u202e"


def broken(path, value):
    """The source with the value at the path, or without it for None."""
    data = copy.deepcopy(SOURCE)
    *where, last = path
    parent = functools.reduce(operator.getitem, where, data)
    if value is None:
        del parent[last]
    else:
        parent[last] = value
    return data


def visual(text, paragraph):
    """The text's characters left to right as shown in a paragraph of this direction, without
    the embeddings, which show as nothing."""
    order = (ctypes.c_int * len(text))()
    if not FRIBIDI.fribidi_log2vis((ctypes.c_uint32 * len(text))(*map(ord, text)), len(text),
                                   ctypes.byref(ctypes.c_uint32(paragraph)), None, None, order, None):
        raise RuntimeError(f"fribidi could not order {text!r}")
    return "".join(text[i] for i in order if text[i] not in EMBEDDINGS)


class Rules(unittest.TestCase):
    def test_each_rule_refuses_a_source_that_breaks_it(self):
        arabic = ("languages", 1)
        text = ("languages", 1, "texts")
        cases = [  # where, what is put there, and the words of the refusal
            (("text_ids", "tooltip"), "src/tray/menu_texts.h", "is no role"),
            (("text_ids",), {"menu": "src/platform/text.h"}, "the headers define no text ids"),
            (("languages", 0, "tag"), "en-GB", "the first table is English (US)"),
            ((*arabic, "script"), "Arab", "a table has ["),
            ((*arabic, "id"), "0x0409", "or is another table's"),
            ((*arabic, "id"), "0x1", "four upper-case hex digits"),
            ((*arabic, "right_to_left"), "yes", "right_to_left is true or false"),
            ((*arabic, "also_for"), ["ar_SA"], "is not a language's name"),
            ((*arabic, "windows_display_languages"), ["EN-us"], "named by the tables en-US and ar"),
            ((*text, "IDS_QUIT"), None, "the headers define"),
            ((*text, "IDS_QUIT"), "إنهاء Pellox Desktop ", "blank at an end"),
            ((*text, "IDS_QUIT"), SOURCE["languages"][1]["texts"]["IDS_OPEN_DASHBOARD"], "read the same"),
            ((*text, "IDS_QUIT"), "إنهاء Pellox Desktops", 'lacks "Pellox Desktop"'),
            ((*text, "IDS_SHARE_MEDIA"), "مشاركة الأفلام & الموسيقى", "a single & in a menu text"),
            ((*text, "IDS_START_FAILED"), "Pellox Desktop && x.\n\npellox-desktop-error.log", "&& in the dialog"),
            ((*text, "IDS_START_FAILED"), "Pellox Desktop pellox-desktop-error.log", "not the paragraphs"),
        ]
        for path, value, refusal in cases:
            with self.subTest(path=path, value=value), self.assertRaisesRegex(languages.Invalid,
                                                                             re.escape(refusal)):
                languages.check(broken(path, value))


class AsShown(unittest.TestCase):
    def test_right_to_left_menu_texts_read_right_to_left_in_either_paragraph_the_rest_as_written(self):
        tables, ids, _ = languages.check(SOURCE)
        rc = languages.make_rc(tables, ids)
        for table in tables:
            shown = languages.as_shown(table, ids)
            for name, (number, role) in ids.items():
                written = table["texts"][name]
                self.assertIn(languages.rc_string(shown[number]), rc)
                if not (table["right_to_left"] and role == "menu"):
                    self.assertEqual(shown[number], written, f"{table['tag']} {name}")
                for paragraph in (LTR, RTL) if table["right_to_left"] and role == "menu" else ():
                    self.assertEqual(visual(shown[number], paragraph), visual(written, RTL),
                                     f"{table['tag']} {name} in a {'left-to-right' if paragraph == LTR else 'right-to-left'} paragraph")


if __name__ == "__main__":
    unittest.main()

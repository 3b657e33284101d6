"""src/bin/tray/languages.py: each rule refusing a source that breaks it; the texts as the exe holds
them, right-to-left menu texts read right to left in either reading order (FriBidi), the rest as written."""

import ctypes
import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "bin", "tray"))
import languages  # noqa: E402

with open(languages.SOURCE, encoding="utf-8") as source:
    SOURCE = source.read()
FRIBIDI = ctypes.CDLL("libfribidi.so.0")
LTR, RTL = 0x110, 0x111  # FRIBIDI_PAR_LTR, FRIBIDI_PAR_RTL


def visual(text, paragraph):
    """The characters left to right as a paragraph of that direction shows them (embeddings: none)."""
    order = (ctypes.c_int * len(text))()
    FRIBIDI.fribidi_log2vis((ctypes.c_uint32 * len(text))(*map(ord, text)), len(text),
                            ctypes.byref(ctypes.c_uint32(paragraph)), None, None, order, None)
    return "".join(text[i] for i in order if text[i] not in "\u202a\u202b\u202c\u202d\u202e")


class Rules(unittest.TestCase):
    def test_each_rule_refuses_a_source_that_breaks_it(self):
        cases = [  # where in the source (in Arabic's table, from "ar"), what is put there, the refusal
            (("text_ids", "tooltip"), "src/tray/menu_texts.h", "is no role"),
            (("text_ids",), {"menu": "src/platform/text.h"}, "the headers define no text ids"),
            (("languages", 0, "tag"), "en-GB", "the first table is English (US)"),
            (("ar", "script"), "Arab", "a table has ["),
            (("ar", "id"), "0x0409", "or is another table's"),
            (("ar", "right_to_left"), "yes", "right_to_left is true or false"),
            (("ar", "also_for"), ["ar_SA"], "is not a language's name"),
            (("ar", "windows_display_languages"), ["EN-us"], "named by the tables en-US and ar"),
            (("ar", "texts", "IDS_TOOLTIP"), "Pellox Desktop", "the headers define"),
            (("ar", "texts", "IDS_QUIT"), "إنهاء Pellox Desktop ", "blank at an end"),
            (("ar", "texts", "IDS_QUIT"), "فتح لوحة المعلومات", "read the same"),
            (("ar", "texts", "IDS_QUIT"), "إنهاء Pellox Desktops", 'lacks "Pellox Desktop"'),
            (("ar", "texts", "IDS_SHARE_MEDIA"), "مشاركة الأفلام & الموسيقى", "a single & in a menu text"),
            (("ar", "texts", "IDS_START_FAILED"), "Pellox Desktop && a.\n\npellox-desktop-error.log", "&& in the"),
            (("ar", "texts", "IDS_START_FAILED"), "Pellox Desktop pellox-desktop-error.log", "not the paragraphs"),
        ]
        for path, value, refusal in cases:
            data = place = json.loads(SOURCE)
            *where, last = ("languages", 1, *path[1:]) if path[0] == "ar" else path
            for key in where:
                place = place[key]
            place[last] = value
            with self.subTest(path=path, value=value):
                with self.assertRaises(languages.Invalid) as refused:
                    languages.check(data)
                self.assertIn(refusal, str(refused.exception))

    def test_right_to_left_menu_texts_read_right_to_left_in_either_paragraph_the_rest_as_written(self):
        tables, ids, _ = languages.check(json.loads(SOURCE))
        rc = languages.make_rc(tables, ids)
        for table in tables:
            shown = languages.as_shown(table, ids)
            for name, (number, role) in ids.items():
                written, embedded = table["texts"][name], table["right_to_left"] and role == "menu"
                self.assertIn(languages.rc_string(shown[number]), rc)
                self.assertEqual(shown[number] != written, embedded, f"{table['tag']} {name}")
                for paragraph in (LTR, RTL) if embedded else ():
                    self.assertEqual(visual(shown[number], paragraph), visual(written, RTL),
                                     f"{table['tag']} {name} in a paragraph read {paragraph:#x}")

#include <gtest/gtest.h>

#include "bin/tray/program.h"
#include "fake_platform.h"
#include "lifecycle/languages.h"
#include "lifecycle/server_process.h"
#include "lifecycle/ui_language.h"

namespace {

// Windows gives the user's preferred UI languages, most preferred first; the
// language Windows was installed in is not among them unless the user chose it.
// Each display language gets its table by the test below; these are the rest.
TEST(UiLanguage, TheFirstPreferredLanguageWithATableByItsNameOrItsParentsElseEnglish) {
    const std::pair<std::vector<std::string>, std::uint16_t> cases[] = {
        {{}, 0x0409},
        // Several preferred languages: the first one with a table, even English.
        {{"gd-GB", "en-GB", "fr-FR"}, 0x0409},
        // A language interface pack, and after it the base language Windows lists
        // next: the pack's table when there is one, else the base's.
        {{"ca-ES", "es-ES"}, 0x0003},
        {{"eu-ES", "es-ES"}, 0x002D},
        {{"gl-ES", "es-ES"}, 0x0056},
        {{"sr-Cyrl-RS", "sr-Latn-RS"}, 0x6C1A},
        {{"id-ID", "en-US"}, 0x0021},
        {{"vi-VN", "en-US"}, 0x002A},
        {{"hi-IN", "en-GB"}, 0x0039},
        {{"bn-BD", "en-US"}, 0x0045},
        {{"fa-IR", "en-US"}, 0x0029},
        {{"ur-PK", "en-US"}, 0x0020},
        {{"ms-MY", "en-GB"}, 0x003E},
        {{"fil-PH", "en-US"}, 0x0064},
        {{"kk-KZ", "ru-RU"}, 0x0019},
        {{"mt-MT", "en-GB"}, 0x0409},
        // Nynorsk and plain Norwegian get Bokmål's table.
        {{"nn-NO"}, 0x7C14},
        {{"no"}, 0x7C14},
        // A Chinese region's parent is its script, not zh; bare zh is Simplified.
        {{"zh-SG"}, 0x0004},
        {{"zh"}, 0x0004},
        {{"zh-HK"}, 0x7C04},
        {{"zh-Hant-HK"}, 0x7C04},
        // Plain Serbian is Cyrillic.
        {{"sr"}, 0x6C1A},
        // Names are compared without regard to letter case, a table's other names too.
        {{"SR-latn-rs"}, 0x701A},
        {{"PT-ao"}, 0x0816},
        // Languages we lack.
        {{"tlh"}, 0x0409},
    };
    for (const auto& [preferred, id] : cases)
        EXPECT_EQ(lifecycle::choose_language(preferred).id, id)
            << testing::PrintToString(preferred);
}

// The display languages Windows offers, each as the data file says.
TEST(UiLanguage, EachWindowsDisplayLanguageGetsItsTable) {
    for (const auto& [display, tag] : lifecycle::kDisplayLanguages)
        EXPECT_EQ(lifecycle::choose_language({std::string(display)}).tag, tag) << display;
}

// Chosen once, at start: the failure dialog in that table and its direction,
// which only shows here (Wine mirrors every message box under a Hebrew LANG).
// The menu's texts and layout are the Wine Language test's to see, as drawn.
TEST(UiLanguage, TheDialogSpeaksTheLanguageChosenAtStart) {
    const std::pair<std::string, std::string> cases[] = {
        {"de-AT", "error_dialog Pellox Desktop: string 5/0007"},
        {"he-IL", "error_dialog Pellox Desktop right-to-left: string 5/000d"},
    };
    for (const auto& [preferred, dialog] : cases) {
        lifecycle::stop_server();
        fake::reset();
        fake::state().preferred_ui_languages = {preferred};
        run_program();
        EXPECT_EQ(fake::seen({"error_dialog"}), dialog) << preferred;
    }
    lifecycle::stop_server();
}

}  // namespace

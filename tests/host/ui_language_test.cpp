#include <gtest/gtest.h>

#include "bin/tray/program.h"
#include "fake_platform.h"
#include "lifecycle/languages.h"
#include "lifecycle/server_process.h"
#include "lifecycle/ui_language.h"

namespace {

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

// Windows gives the user's preferred UI languages, most preferred first; the
// language Windows was installed in is not among them unless the user chose it.
TEST(UiLanguage, TheFirstPreferredLanguageWithATableByItsNameOrItsParentsElseEnglish) {
    const std::pair<std::vector<std::string>, std::uint16_t> cases[] = {
        {{"en-US"}, 0x0409},
        {{}, 0x0409},
        // A German Windows whose user chose English (UK), or Arabic: theirs, not German.
        {{"en-GB"}, 0x0409},
        {{"ar-SA"}, 0x0001},
        {{"he-IL"}, 0x000D},
        // Several preferred languages: the first one with a table, before English.
        {{"cy-GB", "de-CH", "en-US"}, 0x0007},
        {{"gd-GB", "en-GB", "fr-FR"}, 0x0409},
        // Norwegian: Bokmål's table is nb's (0x7C14, not 0x0014), and Nynorsk gets it too.
        {{"nb-NO"}, 0x7C14},
        {{"nn-NO"}, 0x7C14},
        // A Chinese region's parent is its script, not zh.
        {{"zh-CN"}, 0x0004},
        {{"zh-SG"}, 0x0004},
        {{"zh-TW"}, 0x7C04},
        {{"zh-HK"}, 0x7C04},
        {{"zh-MO"}, 0x7C04},
        {{"zh-Hant-HK"}, 0x7C04},
        // Serbian in Latin script; Cyrillic has no table, and neither has plain sr.
        {{"sr-Latn-RS"}, 0x701A},
        {{"sr-Cyrl-RS"}, 0x0409},
        {{"sr"}, 0x0409},
        // Names are compared without regard to letter case.
        {{"SR-latn-rs"}, 0x701A},
        // Portugal's Portuguese for every region but Brazil.
        {{"pt-BR"}, 0x0416},
        {{"pt-PT"}, 0x0816},
        {{"pt-AO"}, 0x0816},
        // Languages we lack.
        {{"tlh"}, 0x0409},
        {{"ga-IE", "cy-GB"}, 0x0409},
    };
    for (const auto& [preferred, id] : cases)
        EXPECT_EQ(lifecycle::choose_language(preferred).id, id) << joined(preferred);
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

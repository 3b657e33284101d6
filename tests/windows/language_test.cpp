// The menu and the failure dialog in the user's display language: the texts
// of the table the tray chooses, as languages.json has them, in its direction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "harness.h"
#include "input.h"
#include "lifecycle/dialog_texts.h"
#include "lifecycle/language_texts.h"
#include "lifecycle/languages.h"
#include "screen.h"
#include "tray/menu_texts.h"

namespace {

using namespace harness;

// Wine takes a program's UI language from LANG as it starts, and what it
// starts inherits that: CTest runs the test below for some of these LANGs
// (tests/windows/CMakeLists.txt); any row runs by hand with its LANG. A
// regional variant gets its language's table.
struct Language {
    const char* lang;
    LANGID ui_language;
    std::string_view tag;  // of the table the tray speaks
};
constexpr Language kLanguages[] = {
    {"C.UTF-8", 0x0409, "en-US"},  {"de_AT.UTF-8", 0x0c07, "de"},
    {"ja_JP.UTF-8", 0x0411, "ja"}, {"he_IL.UTF-8", 0x040d, "he"},
    {"ar_SA.UTF-8", 0x0401, "ar"}, {"el_GR.UTF-8", 0x0408, "el"},
    {"th_TH.UTF-8", 0x041e, "th"}, {"bg_BG.UTF-8", 0x0402, "bg"},
    {"nb_NO.UTF-8", 0x0414, "nb"}, {"ro_RO.UTF-8", 0x0418, "ro"},
    {"ca_ES.UTF-8", 0x0403, "ca"}, {"eu_ES.UTF-8", 0x042d, "eu"},
    {"gl_ES.UTF-8", 0x0456, "gl"}, {"sr_RS.UTF-8@cyrillic", 0x281a, "sr-Cyrl"},
    {"id_ID.UTF-8", 0x0421, "id"}, {"vi_VN.UTF-8", 0x042a, "vi"},
    {"hi_IN.UTF-8", 0x0439, "hi"}, {"bn_BD.UTF-8", 0x0845, "bn"},
    {"fa_IR.UTF-8", 0x0429, "fa"}, {"ur_PK.UTF-8", 0x0420, "ur"},
    {"ms_MY.UTF-8", 0x043e, "ms"}, {"fil_PH.UTF-8", 0x0464, "fil"},
};

// The menu, read row by row as drawn (a popup menu of another process cannot
// be read under Wine 8: GetMenuItemCount answers -1), its check mark on the
// side the language reads from. Then the failure dialog, read by its text; its
// caption is the product's name in every language. It shows only after the
// 20 s of waiting for a port (the host test StartUp.* sees that wait).
TEST(Language, TheMenuAndTheFailureDialogSpeakTheDisplayLanguage) {
    const std::string lang = std::getenv("LANG") ? std::getenv("LANG") : "";
    const auto* const row = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                         [&](const Language& l) { return lang == l.lang; });
    ASSERT_NE(row, std::end(kLanguages)) << "LANG=" << lang << " is none of the table's";
    ASSERT_EQ(GetUserDefaultUILanguage(), row->ui_language)
        << "Wine did not take the UI language from LANG=" << lang
        << ": does glibc have that locale (scripts/setup makes it)?";
    const auto table =
        std::find_if(std::begin(lifecycle::kLanguages), std::end(lifecycle::kLanguages),
                     [&](const auto& table) { return table.tag == row->tag; });
    ASSERT_NE(table, std::end(lifecycle::kLanguages)) << row->tag << " has no table";
    const auto& texts = lifecycle::kLanguageTexts[table - std::begin(lifecycle::kLanguages)].by_id;
    const auto mark =
        table->direction == platform::TextDirection::RightToLeft ? MenuRow::Right : MenuRow::Left;
    const std::vector<MenuRow> expected = {
        {texts[IDS_OPEN_DASHBOARD]}, kSeparator, {texts[IDS_SHARE_MEDIA], mark},
        {texts[IDS_STREAM_THIS_PC]}, kSeparator, {texts[IDS_QUIT]}};

    const auto tray =
        start_tray(make_install("language-menu", nlohmann::json{{"features", {{"media", true}}}}));
    const auto icon = tray_icon(tray, 20s);
    ASSERT_TRUE(icon) << "no icon of this tray within 20 s: " << tray_state(tray);
    // The menu opens at the pointer's corner of it, which thus rests on no item.
    const HWND menu = open_menu(*icon, tray.pid);
    ASSERT_NE(menu, nullptr) << "no menu opened within 10 s of a right-click";
    std::vector<MenuRow> rows;
    const std::vector<std::wstring> items = {texts[IDS_OPEN_DASHBOARD], texts[IDS_SHARE_MEDIA],
                                             texts[IDS_STREAM_THIS_PC], texts[IDS_QUIT]};
    wait_until([&] { return (rows = read_menu(menu, items)) == expected; }, 5s);
    EXPECT_EQ(rows, expected) << "the menu as drawn after 5 s";
    press({VK_ESCAPE});
    EXPECT_TRUE(menu_closed(tray.pid)) << "the menu did not close within 10 s of Escape";
    EXPECT_EQ(quit_tray(tray), 0u) << "the tray did not end with status 0 on Quit";

    // 20 s after the start, with room for a slow machine's start-up: a clock
    // running at half speed or twice its speed would miss the window.
    const auto started = std::chrono::steady_clock::now();
    const auto lonely = start_tray(make_install("language-dialog", std::nullopt));
    const HWND dialog = wait_for_window(nullptr, L"#32770", lonely.pid, 30s);
    ASSERT_NE(dialog, nullptr) << "no failure dialog within 30 s";
    EXPECT_GE(std::chrono::steady_clock::now() - started, 19s)
        << "the failure dialog came before the 20 s wait for a port was over";
    EXPECT_EQ(text_of(dialog), L"Pellox Desktop");
    // The dialog's style reaches the box: an icon only shows with MB_ICONERROR.
    // (Wine brings every message box to the front, so MB_SETFOREGROUND shows
    // only on Windows.)
    bool has_text = false, has_icon = false;
    for (HWND child = nullptr; (child = FindWindowExW(dialog, child, L"Static", nullptr));) {
        has_text = has_text || text_of(child) == texts[IDS_START_FAILED];
        has_icon = has_icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    EXPECT_TRUE(has_text) << "the failure dialog did not say \"" << texts[IDS_START_FAILED] << "\"";
    EXPECT_TRUE(has_icon) << "the failure dialog shows no icon";
    RECT ok{};
    GetWindowRect(FindWindowExW(dialog, nullptr, L"Button", nullptr), &ok);
    click(centre(ok), Button::Left);
    EXPECT_EQ(lonely.wait_exit(10s), 0u) << "the tray did not end with status 0 after the dialog";
}

}  // namespace

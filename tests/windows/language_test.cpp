// The menu and the failure dialog in the user's display language.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>

#include "harness.h"
#include "input.h"
#include "screen.h"

namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

// The texts a user sees, as the resources hold them: the four menu items,
// then the failure dialog's.
using Texts = std::array<const wchar_t*, 5>;
constexpr Texts kEnglish = {
    L"Open dashboard", L"Share movies, shows && music", L"Stream this PC", L"Quit Pellox Desktop",
    L"Pellox Desktop could not start its library server.\n\nTry running the installer again. If "
    L"it keeps happening, there will be a pellox-desktop-error.log in the install folder saying "
    L"why."};
constexpr Texts kGerman = {
    L"Dashboard öffnen", L"Filme, Serien && Musik freigeben", L"Von diesem PC streamen",
    L"Pellox Desktop beenden",
    L"Pellox Desktop konnte seinen Bibliotheksserver nicht starten.\n\nFühren Sie das "
    L"Installationsprogramm erneut aus. Wenn das Problem weiterhin auftritt, steht die Ursache in "
    L"der Datei pellox-desktop-error.log im Installationsordner."};
constexpr Texts kJapanese = {
    L"ダッシュボードを開く", L"映画、番組、音楽を共有", L"この PC からストリーミング",
    L"Pellox Desktop を終了",
    L"Pellox Desktop のライブラリ サーバーを起動できませんでした。\n\nインストーラーをもう一度実行"
    L"してください。問題が解決しない場合は、インストール フォルダーの pellox-desktop-error.log "
    L"に原因が記録されます。"};

// Wine takes a program's UI language from LANG as it starts, and what it
// starts inherits that: CTest runs the test below once for each LANG here
// (tests/windows/CMakeLists.txt). A regional variant gets its language.
struct Language {
    const char* lang;
    LANGID ui_language;
    const Texts& texts;
    const Texts& other;  // what must not show instead
};
constexpr Language kLanguages[] = {
    {"C.UTF-8", 0x0409, kEnglish, kGerman},
    {"de_DE.UTF-8", 0x0407, kGerman, kEnglish},
    {"de_AT.UTF-8", 0x0c07, kGerman, kEnglish},
    {"ja_JP.UTF-8", 0x0411, kJapanese, kEnglish},
};

// The menu in the user's language, read by what it draws: a popup menu of
// another process cannot be read under Wine 8 (GetMenuItemCount answers -1).
// Then the failure dialog, read by its text; its caption is the product's
// name in every language. It shows only after the 20 s of waiting for a port.
TEST(Language, TheMenuAndTheFailureDialogSpeakTheDisplayLanguage) {
    const std::string lang = std::getenv("LANG") ? std::getenv("LANG") : "";
    const auto* const row = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                         [&](const Language& l) { return lang == l.lang; });
    ASSERT_NE(row, std::end(kLanguages)) << "LANG=" << lang << " is none of the table's";
    ASSERT_EQ(GetUserDefaultUILanguage(), row->ui_language)
        << "Wine did not take the UI language from LANG=" << lang
        << ": does glibc have that locale (scripts/setup makes it)?";

    const auto tray = start_tray(make_install("language-menu", nlohmann::json::object()));
    const auto icon = tray_icon(tray, 20s);
    ASSERT_TRUE(icon) << "no icon of this tray within 20 s: " << tray_state(tray);
    // The menu opens at the pointer's corner of it, which thus rests on no item.
    const HWND menu = open_menu(*icon, tray.pid);
    ASSERT_NE(menu, nullptr) << "no menu opened within 10 s of a right-click";
    RECT at{};
    GetWindowRect(menu, &at);
    constexpr double kAlike = 2;
    for (std::size_t i = 0; i < 4; ++i) {
        double to_text = 255, to_other = 0;
        EXPECT_TRUE(wait_until(
            [&] {
                to_text = difference_from_text(at, row->texts[i]);
                to_other = difference_from_text(at, row->other[i]);
                return to_text < kAlike && to_other > kAlike;
            },
            5s))
            << "within 5 s the menu did not show \"" << row->texts[i] << "\" (mean difference "
            << to_text << ") rather than \"" << row->other[i] << "\" (" << to_other << ")";
    }
    press({VK_ESCAPE});
    EXPECT_TRUE(menu_closed(tray.pid)) << "the menu did not close within 10 s of Escape";
    EXPECT_EQ(quit_tray(tray), 0u) << "the tray did not end with status 0 on Quit";

    const auto started = Clock::now();
    const auto lonely = start_tray(make_install("language-dialog", std::nullopt));
    const HWND dialog = wait_for_window(nullptr, L"#32770", lonely.pid, 25s);
    ASSERT_NE(dialog, nullptr) << "no failure dialog within 25 s";
    EXPECT_GE(Clock::now() - started, 19s);
    EXPECT_EQ(text_of(dialog), L"Pellox Desktop");
    // The dialog's style reaches the box: an icon only shows with MB_ICONERROR.
    // (Wine brings every message box to the front, so MB_SETFOREGROUND shows
    // only on Windows.)
    bool has_text = false, has_icon = false;
    for (HWND child = nullptr; (child = FindWindowExW(dialog, child, L"Static", nullptr));) {
        has_text = has_text || text_of(child) == row->texts[4];
        has_icon = has_icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    EXPECT_TRUE(has_text) << "the failure dialog did not say \"" << row->texts[4] << "\"";
    EXPECT_TRUE(has_icon) << "the failure dialog shows no icon";
    RECT ok{};
    GetWindowRect(FindWindowExW(dialog, nullptr, L"Button", nullptr), &ok);
    click(centre(ok), Button::Left);
    EXPECT_EQ(lonely.wait_exit(10s), 0u) << "the tray did not end with status 0 after the dialog";
}

}  // namespace

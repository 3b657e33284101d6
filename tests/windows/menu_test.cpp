// The menu as a user meets it: opened by a right-click on the icon, read as it
// is drawn, used with the mouse and the keyboard, with the server and the
// browser as witnesses of what each choice does.
#include <gtest/gtest.h>

#include <functional>

#include "harness.h"
#include "input.h"
#include "screen.h"

namespace {

using namespace harness;

const std::wstring kOpen = L"Open dashboard", kShare = L"Share movies, shows && music",
                   kStream = L"Stream this PC", kQuit = L"Quit Pellox Desktop";

std::vector<MenuRow> menu_showing(bool media, bool stream) {
    const auto mark = [](bool on) { return on ? MenuRow::Left : MenuRow::None; };
    return {{kOpen},    kSeparator, {kShare, mark(media)}, {kStream, mark(stream)},
            kSeparator, {kQuit}};
}

// Where the menu opens: at the pointer, its left edge on the pointer's column
// (its right edge when the screen's edge pushed it) and its bottom on the
// pointer's row when it fits above it.
testing::AssertionResult at_pointer(HWND menu, POINT pointer) {
    RECT at{}, work{};
    GetWindowRect(menu, &at);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const bool fits_above =
        pointer.y - (at.bottom - at.top) >= work.top && pointer.y <= work.bottom;
    if ((at.left == pointer.x || at.right == pointer.x) && (!fits_above || at.bottom == pointer.y))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "the menu opened at (" << at.left << ", " << at.top << ")-(" << at.right << ", "
           << at.bottom << "), not at the pointer (" << pointer.x << ", " << pointer.y << ")";
}

// The requests the server got, "METHOD PATH BODY".
std::vector<std::string> requests(const Install& install) {
    std::vector<std::string> seen;
    for (const auto& event : server_log(install, R"("event":"request")"))
        seen.push_back(event["method"].get<std::string>() + " " + event["path"].get<std::string>() +
                       " " + event["body"].get<std::string>());
    return seen;
}

TEST(Menu, OpensAtThePointerShowsTheSwitchesAndDoesWhatIsChosenAndNothingElse) {
    clear_browser_log();
    const auto install = make_install("menu", nlohmann::json{{"features", {{"media", true}}}});
    const auto tray = start_tray(install);
    const auto icon = tray_icon(tray, 20s);
    ASSERT_TRUE(icon) << "no icon of this tray within 20 s: " << tray_state(tray);

    const auto choose = [](const std::wstring& text) {
        return [text](const std::vector<MenuRow>& rows) {
            for (const auto& row : rows)
                if (row.text == text)
                    click(centre(row.at), Button::Left);
        };
    };
    const auto keys = [](std::vector<WORD> pressed) {
        return [pressed](const std::vector<MenuRow>&) {
            for (const WORD key : pressed)
                press({key});
        };
    };
    // Each right-click: the marks the menu must show, then what the user does.
    const std::tuple<bool, bool, std::function<void(const std::vector<MenuRow>&)>> steps[] = {
        {true, false, choose(kStream)},
        {true, true, keys({VK_ESCAPE})},
        {true, true, keys({VK_DOWN, VK_DOWN, VK_RETURN})},  // the second item
        {false, true, choose(kOpen)},
        {false, true, keys({VK_UP, VK_RETURN})},  // the last item
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto& [media, stream, act] = steps[i];
        const auto step = i + 1;
        const HWND menu = open_menu(*icon, tray.pid);
        ASSERT_NE(menu, nullptr) << "step " << step << ": no menu within 10 s of a right-click";
        EXPECT_TRUE(at_pointer(menu, centre(icon->at))) << "step " << step;
        std::vector<MenuRow> rows;
        ASSERT_TRUE(wait_until(
            [&] {
                return (rows = read_menu(menu, {kOpen, kShare, kStream, kQuit})) ==
                       menu_showing(media, stream);
            },
            5s))
            << "step " << step << ": within 5 s the menu did not show\n  "
            << describe(menu_showing(media, stream)) << "\nbut\n  " << describe(rows);
        act(rows);
        ASSERT_TRUE(menu_closed(tray.pid)) << "step " << step << ": the menu stayed for 10 s";
    }
    EXPECT_EQ(tray.wait_exit(15s), 0u) << "the tray did not end with status 0 within 15 s of Quit";

    // Once all the tray started has ended, the browser has written down all it was given.
    ASSERT_TRUE(tray.wait_all_ended(10s)) << "what the tray started still ran 10 s after it";
    const std::string dashboard =
        "http://127.0.0.1:" + std::to_string(listening_port(install).value_or(0)) + "/";
    EXPECT_EQ(opened_urls(), std::vector<std::string>(2, dashboard))
        << "the dashboard opens at start and when chosen, and at no other time";
    const std::string get = "GET /api/features ", post = "POST /api/features ";
    EXPECT_EQ(requests(install), (std::vector<std::string>{
                                     get, get, post + R"({"stream":true})", get, get, get,
                                     post + R"({"media":false})", get, get, "POST /api/quit {}"}))
        << "each menu reads the switches; a switch reads them again and sends its change; "
           "Escape and the dashboard ask nothing; Quit asks the server to exit";
}

}  // namespace

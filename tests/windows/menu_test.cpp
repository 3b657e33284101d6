// The menu as a user meets it: opened by a right-click on the icon, read as it
// is drawn, used with the mouse and the keyboard, with the server and the
// browser as witnesses of what each choice does, Quit's order and grace among it.
#include <gtest/gtest.h>

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

// At the pointer: the menu's left edge on its column (the right edge when the
// screen's edge pushed it), and its bottom on its row when it fits above.
testing::AssertionResult at_pointer(HWND menu, POINT pointer) {
    RECT at{}, work{};
    GetWindowRect(menu, &at);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const bool fits = pointer.y - (at.bottom - at.top) >= work.top && pointer.y <= work.bottom;
    if ((at.left == pointer.x || at.right == pointer.x) && (!fits || at.bottom == pointer.y))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "the menu opened at (" << at.left << ", " << at.top << "), not at the pointer ("
           << pointer.x << ", " << pointer.y << ")";
}

// The server here stays after it is asked to quit, and takes a second to
// answer: an icon taken away only after asking would still be there meanwhile.
// An item is chosen with either button, as the menu was opened with the right.
TEST(Menu, OpensAtThePointerShowsTheSwitchesAndDoesWhatIsChosenAndNothingElse) {
    clear_browser_log();
    const auto install = make_install("menu", nlohmann::json{{"features", {{"media", true}}},
                                                             {"ignore_quit", true},
                                                             {"quit_delay_ms", 1000}});
    const auto tray = start_tray(install);
    const auto icon = tray_icon(tray, 20s);
    ASSERT_TRUE(icon) << "no icon of this tray within 20 s: " << tray_state(tray);
    EXPECT_TRUE(drawn_as(*icon, generic_icon(), icon_file(bin_dir() / "icon.ico")))
        << "without icon.ico the icon drawn was not the generic application icon within 5 s";
    const auto server = server_process(install, 0ms);
    ASSERT_TRUE(server) << "the server's process could not be opened";
    // Each right-click: the marks the menu must show, then the row clicked (and
    // with which button) or the keys pressed.
    const std::tuple<bool, bool, std::wstring, Button, std::vector<WORD>> steps[] = {
        {true, false, kStream, Button::Left, {}},
        {true, true, {}, {}, {VK_ESCAPE}},
        {true, true, {}, {}, {VK_DOWN, VK_DOWN, VK_RETURN}},  // the second item
        {false, true, kOpen, Button::Right, {}},
        {false, true, {}, {}, {VK_UP, VK_RETURN}},  // the last item
    };
    for (int step = 1; const auto& [media, stream, chosen, button, keys] : steps) {
        const HWND menu = open_menu(*icon, tray.pid);
        ASSERT_NE(menu, nullptr) << "step " << step << ": no menu within 10 s of a right-click";
        EXPECT_TRUE(at_pointer(menu, centre(icon->at))) << "step " << step;
        std::vector<MenuRow> rows;
        const auto expected = menu_showing(media, stream);
        wait_until(
            [&] {
                return (rows = read_menu(menu, {kOpen, kShare, kStream, kQuit})) == expected;
            },
            5s);
        ASSERT_EQ(rows, expected) << "step " << step << ": the menu as drawn after 5 s";
        for (const auto& row : rows)
            if (!chosen.empty() && row.text == chosen)
                click(centre(row.at), button);
        press(keys);
        ASSERT_TRUE(menu_closed(tray.pid)) << "step " << step << ": the menu stayed for 10 s";
        ++step;
    }
    // Quit: the icon goes, the server is asked, and ended 600 ms later as it stays.
    ASSERT_TRUE(
        wait_until([&] { return !server_log(install, R"("path":"/api/quit")").empty(); }, 10s))
        << "the server got no quit request within 10 s of Quit";
    EXPECT_FALSE(is_shown(*icon)) << "the icon was still shown when the quit request arrived";
    EXPECT_EQ(tray.wait_exit(15s), 0u) << "the tray did not end with status 0 within 15 s of Quit";
    ASSERT_EQ(WaitForSingleObject(server.get(), 0), WAIT_OBJECT_0)
        << "the server outlived the tray";
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(server.get(), &created, &ended, &kernel, &user);
    const auto asked =
        server_log(install, R"("event":"quit")").at(0)["filetime"].get<std::uint64_t>();
    const double after_ms =
        static_cast<double>(((std::uint64_t{ended.dwHighDateTime} << 32) | ended.dwLowDateTime) -
                            asked) /
        10'000;
    // A few ms for the reply's way back and the timer's granularity.
    EXPECT_TRUE(after_ms >= 590 && after_ms < 3000)
        << "the server ended " << after_ms << " ms after the quit request";
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(server.get(), &code) && code == 1)
        << "the server was not terminated with status 1";

    // Once all the tray started has ended, the browser has written down all it was given.
    ASSERT_TRUE(tray.wait_all_ended(10s)) << "what the tray started still ran 10 s after it";
    const auto port = std::to_string(listening_port(install).value_or(0));
    EXPECT_EQ(opened_urls(), std::vector<std::string>(2, "http://127.0.0.1:" + port + "/"))
        << "the dashboard opens at start and when chosen, and at no other time";
    std::vector<std::string> requests;
    for (const auto& event : server_log(install, R"("event":"request")"))
        requests.push_back(event["method"].get<std::string>() + " " +
                           event["path"].get<std::string>() + " " +
                           event["body"].get<std::string>());
    const std::string get = "GET /api/features ", post = "POST /api/features ";
    EXPECT_EQ(requests, (std::vector<std::string>{get, get, post + R"({"stream":true})", get, get,
                                                  get, post + R"({"media":false})", get, get,
                                                  "POST /api/quit {}"}))
        << "each menu reads the switches, a switch reads them again and sends its change; "
           "Escape and the dashboard ask nothing; Quit asks the server to exit";
}

}  // namespace

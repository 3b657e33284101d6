// The program as a user meets it, where only the real system shows it: the
// start-up, the icon drawn and its tooltip, the quit's order and grace, files
// left free and output handed on.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "harness.h"
#include "input.h"
#include "screen.h"
// After windows.h, which harness.h brings.
#include <commctrl.h>

namespace {

using namespace harness;

// The tray loads icon.ico as it does; without the file it falls back to this one.
HICON icon_file(const fs::path& path) {
    return static_cast<HICON>(
        LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
}
HICON generic_icon() {
    return LoadIconW(nullptr, IDI_APPLICATION);
}

// Whether the screen shows the expected icon and not the other, within 5 s.
testing::AssertionResult drawn_as(const NotificationIcon& shown, HICON expected, HICON other) {
    constexpr double kAlike = 12;
    double to_expected = 255, to_other = 0;
    if (wait_until(
            [&] {
                to_expected = difference_from(shown, expected);
                to_other = difference_from(shown, other);
                return to_expected < kAlike && to_other > kAlike;
            },
            5s))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "within 5 s the icon drawn was not the expected one: mean difference " << to_expected
           << " from it, " << to_other << " from the other";
}

// The stand-in server's process, to wait for it and read how it ended.
std::shared_ptr<void> open_server(const Install& install) {
    const auto started = server_log(install, R"("event":"start")");
    const HANDLE server = started.empty()
                              ? nullptr
                              : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                            started.front().at("pid").get<DWORD>());
    return {server, [](HANDLE handle) {
                if (handle)
                    CloseHandle(handle);
            }};
}

// The server runs in the tray's folder, told not to open a browser of its own
// and without a console window, which a user would see and could close, also
// under a long profile path in several scripts (about 200 characters: Wine's
// file functions take no more than MAX_PATH); the icon is icon.ico's and
// says whose it is.
TEST(Scenario, StartUpLaunchesTheServerHiddenOpensTheDashboardAndShowsTheIcon) {
    clear_browser_log();
    auto install = make_install("start-up", nlohmann::json::object(), true);
    for (const wchar_t* part : {L"\u00c6r\u00f8sk\u00f8bing", L"\u03a9\u03bc\u03ad\u03b3\u03b1",
                                L"\u30c7\u30fc\u30bf", L"\U0001F3AC"})
        install.appdata /= part + std::wstring(32, L'-');
    fs::create_directories(install.appdata);
    // Inherited in another letter case than the server reads it: still replaced.
    SetEnvironmentVariableW(L"pellox_no_browser", L"0");
    const auto tray = start_tray(install);
    SetEnvironmentVariableW(L"pellox_no_browser", nullptr);
    ASSERT_TRUE(wait_until([] { return !opened_urls().empty(); }, 20s))
        << "the tray opened no dashboard within 20 s (APPDATA of "
        << install.appdata.wstring().size() << " characters)";
    const auto started = server_log(install, R"("event":"start")");
    ASSERT_EQ(started.size(), 1u) << "the server was not started exactly once";
    EXPECT_EQ(started[0]["no_browser"], "1");
    EXPECT_EQ(fs::path(started[0]["cwd"].get<std::string>()), install.install);
    EXPECT_EQ(started[0]["console"], false) << "the server has a console window";
    const auto port = std::to_string(listening_port(install).value_or(0));
    EXPECT_EQ(opened_urls(), std::vector<std::string>{"http://127.0.0.1:" + port + "/"});

    const auto icon = tray_icon(tray, 10s);
    ASSERT_TRUE(icon) << "no icon of this tray in the notification area within 10 s";
    EXPECT_TRUE(drawn_as(*icon, icon_file(install.install / "icon.ico"), generic_icon()))
        << "icon.ico beside the tray";
    const RECT at = icon->at;
    // Two moves: the tooltip starts its timer on a move within the icon.
    SetCursorPos(at.left + 2, at.top + 2);
    Sleep(200);
    SetCursorPos((at.left + at.right) / 2, (at.top + at.bottom) / 2);
    std::wstring shown;
    EXPECT_TRUE(wait_until(
        [&] {
            for (const HWND tip : windows_of_class(nullptr, TOOLTIPS_CLASSW))
                if (IsWindowVisible(tip) && (shown = text_of(tip)) == L"Pellox Desktop")
                    return true;
            return false;
        },
        5s))
        << "hovering over the icon showed no tooltip \"Pellox Desktop\" within 5 s (last seen: \""
        << std::string(shown.begin(), shown.end()) << "\")";
    EXPECT_EQ(quit_tray(tray), 0u) << "the tray did not end with status 0 on Quit";
}

// Quit takes the icon away before it asks the server to exit, then ends a
// server that ignores the request once the 600 ms grace is over: timed from
// the server's own clock to the system's record of its end.
TEST(Scenario, QuitRemovesTheIconThenEndsAServerThatStaysAfterTheGrace) {
    // The second's delay holds the tray in its request: an icon taken away
    // only after asking would still be there meanwhile.
    const auto install =
        make_install("quit", nlohmann::json{{"ignore_quit", true}, {"reply_delay_ms", 1000}});
    const auto tray = start_tray(install);
    const auto icon = tray_icon(tray, 20s);
    ASSERT_TRUE(icon) << "no icon of this tray in the notification area within 20 s";
    EXPECT_TRUE(drawn_as(*icon, generic_icon(), icon_file(bin_dir() / "icon.ico")))
        << "the generic application icon without icon.ico";
    const auto server = open_server(install);
    ASSERT_TRUE(server) << "the server's process could not be opened";

    // Quit, the menu's last item, chosen by the keyboard.
    ASSERT_TRUE(open_menu(*icon, tray.pid)) << "no menu within 10 s of a right-click on the icon";
    press({VK_UP, VK_RETURN});
    ASSERT_TRUE(
        wait_until([&] { return !server_log(install, R"("path":"/api/quit")").empty(); }, 10s))
        << "the server got no quit request within 10 s of Quit";
    EXPECT_FALSE(is_shown(*icon)) << "the icon was still shown when the quit request arrived";
    ASSERT_EQ(WaitForSingleObject(server.get(), 10000), WAIT_OBJECT_0)
        << "the server still ran 10 s after the quit request";
    const auto asked = server_log(install, R"("event":"quit")");
    ASSERT_EQ(asked.size(), 1u) << "the server did not log the quit request once";
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(server.get(), &created, &ended, &kernel, &user);
    const double after_ms =
        static_cast<double>(((std::uint64_t{ended.dwHighDateTime} << 32) | ended.dwLowDateTime) -
                            asked[0]["filetime"].get<std::uint64_t>()) /
        10'000;
    // A few ms for the reply's way back and the timer's granularity.
    EXPECT_TRUE(after_ms >= 590 && after_ms < 3000)
        << "the server ended " << after_ms << " ms after the quit request";
    DWORD code = 0;
    GetExitCodeProcess(server.get(), &code);
    EXPECT_EQ(code, 1u) << "the server was not terminated with status 1";
    EXPECT_EQ(tray.wait_exit(10s), 0u) << "the tray did not end with status 0 within 10 s";
}

// A server that exits by itself leaves the tray running and holding neither
// the server's file nor the icon's, so an update can replace both; and what
// the server writes goes where the tray's own output goes.
TEST(Scenario, TheTrayHoldsNoFileOpenAndHandsItsOutputOn) {
    const auto install =
        make_install("files-and-output", nlohmann::json{{"exit_after_ms", 1500}}, true);
    const auto output_path = install.install.parent_path() / "tray-output.txt";
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE output =
        CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const auto tray = start_tray(install, output);
    CloseHandle(output);
    // Opened while it runs: an ended process may no longer be found by its id.
    std::shared_ptr<void> server;
    ASSERT_TRUE(wait_until([&] { return static_cast<bool>(server = open_server(install)); }, 10s))
        << "no server started within 10 s";
    ASSERT_EQ(WaitForSingleObject(server.get(), 10000), WAIT_OBJECT_0)
        << "the server did not exit by itself within 10 s";
    // By now the tray has chosen its icon and runs its message loop, which
    // waits for messages rather than polling for them.
    ASSERT_NE(tray_window(tray, 10s), nullptr)
        << "the tray made no window within 10 s: " << tray_state(tray);
    const auto process = unix_pids(install.install / "Pellox-Desktop-Tray.exe");
    ASSERT_EQ(process.size(), 1u) << "the tray's Linux process was not found";
    const auto before = usage_of(process[0]);
    Sleep(2000);
    const auto after = usage_of(process[0]);
    ASSERT_TRUE(before && after) << "the tray's CPU time could not be read";
    EXPECT_LE(after->cpu_ticks - before->cpu_ticks, 10) << "10 ms ticks of CPU in 2 s of idling";

    for (const char* name : {"Pellox-Desktop.exe", "icon.ico"}) {
        const auto path = install.install / name;
        // A file deleted while a handle is open stays until that handle closes.
        EXPECT_TRUE(DeleteFileW(path.c_str()) && !fs::exists(path))
            << name << " could not be deleted for good while the tray runs";
    }
    std::ifstream written(output_path);
    const std::string text((std::istreambuf_iterator<char>(written)), {});
    EXPECT_NE(text.find("stand_in_server: started"), std::string::npos)
        << "the server's output did not reach the file the tray's output goes to: \"" << text
        << "\"";
    EXPECT_EQ(quit_tray(tray), 0u) << "the tray did not end with status 0 on Quit";
}

}  // namespace

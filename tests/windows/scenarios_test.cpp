// The program as a user meets it, where only the real system shows it: the
// start-up, the icon drawn and its tooltip, files left free and output handed
// on. What follows Quit is the menu's business (menu_test.cpp).
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

// The server runs in the tray's folder, told not to open a browser of its own
// and without a console window, which a user would see and could close, also
// under a long profile path in several scripts (about 200 characters: Wine's
// file functions take no more than MAX_PATH); the icon is icon.ico's and
// says whose it is. With the single-instance mutex's name taken by an object
// of another kind, whether another copy runs cannot be told: better a second
// tray than none.
TEST(Scenario, StartUpLaunchesTheServerHiddenOpensTheDashboardAndShowsTheIcon) {
    clear_browser_log();
    const std::shared_ptr<void> squatter(
        CreateEventW(nullptr, TRUE, FALSE, L"Global\\PelloxDesktopTray"), CloseHandle);
    ASSERT_NE(squatter.get(), nullptr) << "the mutex's name could not be taken by an event";
    auto install = make_install("start-up", nlohmann::json::object(), true);
    for (const wchar_t* part : {L"\u00c6r\u00f8sk\u00f8bing", L"\u03a9\u03bc\u03ad\u03b3\u03b1",
                                L"\u30c7\u30fc\u30bf", L"\U0001F3AC"})
        install.appdata /= part + std::wstring(32, L'-');
    fs::create_directories(install.appdata);
    // Inherited in another letter case than the server reads it: still replaced.
    SetEnvironmentVariableW(L"pellox_no_browser", L"0");
    const auto tray = start_tray(install);
    SetEnvironmentVariableW(L"pellox_no_browser", nullptr);
    wait_until([&] { return !opened_urls().empty() || tray.wait_exit(0ms); }, 20s);
    ASSERT_FALSE(opened_urls().empty())
        << "the tray opened no dashboard within 20 s or before it ended (APPDATA of "
        << install.appdata.wstring().size() << " characters): " << tray_state(tray);
    const auto started = server_log(install, R"("event":"start")");
    ASSERT_EQ(started.size(), 1u) << "the server was not started exactly once";
    EXPECT_EQ(started[0]["no_browser"], "1");
    EXPECT_EQ(started[0]["command_line"],
              '"' + (install.install / "Pellox-Desktop.exe").string() + '"');
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
    const auto server = server_process(install, 10s);
    ASSERT_TRUE(server) << "no server started within 10 s";
    ASSERT_EQ(WaitForSingleObject(server.get(), 10000), WAIT_OBJECT_0)
        << "the server did not exit by itself within 10 s";
    // Once its icon shows, the tray runs its message loop, which waits for
    // messages rather than polling for them.
    ASSERT_TRUE(tray_icon(tray, 10s)) << "no icon of this tray within 10 s: " << tray_state(tray);
    const auto process = unix_pids(install.install / "Pellox-Desktop-Tray.exe");
    ASSERT_EQ(process.size(), 1u) << "the tray's Linux process was not found";
    const auto before = cpu_ticks_of(process[0]);
    Sleep(2000);
    const auto after = cpu_ticks_of(process[0]);
    ASSERT_TRUE(before && after) << "the tray's CPU time could not be read";
    EXPECT_LE(*after - *before, 10) << "10 ms ticks of CPU in 2 s of idling";

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

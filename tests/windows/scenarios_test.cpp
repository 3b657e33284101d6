// What only the real system shows: the start-up as a user meets it, the icon
// drawn and its tooltip, the quit's order and grace, files left free and
// output handed on, the dialog, the fatal stop's status, file sharing and
// sizes, Winsock time-outs; then the long runs (Soak.*, CTest label soak):
// many copies at once with the named mutex and the shell, and a thousand
// menus, each with its exchange and none left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "harness.h"
// After windows.h, which harness.h brings.
#include <commctrl.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "tray/tray_icon.h"
#include "tray/tray_menu.h"

namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

// A window's text, also another process's: the system copies it across. A tooltip
// control answers with the tip it shows.
std::wstring text_of(HWND window) {
    std::array<wchar_t, 1024> text{};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_NORMAL, 2000, &length);
    return text.data();
}

// The icon this tray added: one that was not in the notification area before it started.
std::optional<NotificationIcon> wait_for_new_icon(const std::vector<NotificationIcon>& before,
                                                  std::chrono::milliseconds timeout) {
    std::optional<NotificationIcon> found;
    wait_until(
        [&] {
            for (const auto& icon : notification_icons())
                if (std::none_of(before.begin(), before.end(),
                                 [&](const auto& old) { return old.window == icon.window; }))
                    found = icon;
            return found.has_value();
        },
        timeout);
    return found;
}

bool is_shown(const NotificationIcon& icon) {
    const auto icons = notification_icons();
    return std::any_of(icons.begin(), icons.end(),
                       [&](const auto& shown) { return shown.window == icon.window; });
}

// The pixels of a bitmap that no DC holds, top row first, each 0x00RRGGBB.
std::vector<std::uint32_t> pixels_of(HBITMAP bitmap, int width, int height) {
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width * height));
    const HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, height, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// How far what the screen shows in the rectangle is from a picture of the
// size that draw paints (given the rectangle's corner pixel, its background),
// at the best place: the mean difference per colour channel, 0 to 255.
double difference_from(const RECT& at, SIZE size, const std::function<void(HDC, COLORREF)>& draw) {
    const int width = at.right - at.left, height = at.bottom - at.top;
    const HDC screen = GetDC(nullptr);
    const HDC seen = CreateCompatibleDC(screen), drawn = CreateCompatibleDC(screen);
    const HBITMAP seen_bits = CreateCompatibleBitmap(screen, width, height);
    const HBITMAP drawn_bits = CreateCompatibleBitmap(screen, size.cx, size.cy);
    SelectObject(seen, seen_bits);
    SelectObject(drawn, drawn_bits);
    BitBlt(seen, 0, 0, width, height, screen, at.left, at.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    draw(drawn, GetPixel(seen, 0, 0));
    DeleteDC(seen);
    DeleteDC(drawn);
    const auto a = pixels_of(seen_bits, width, height), b = pixels_of(drawn_bits, size.cx, size.cy);
    DeleteObject(seen_bits);
    DeleteObject(drawn_bits);
    long best = 3L * 255 * size.cx * size.cy;
    for (int top = 0; top + size.cy <= height; ++top)
        for (int left = 0; left + size.cx <= width; ++left) {
            long total = 0;
            for (int y = 0; y < size.cy && total < best; ++y)
                for (int x = 0; x < size.cx; ++x) {
                    const auto p = a[static_cast<std::size_t>((top + y) * width + left + x)];
                    const auto q = b[static_cast<std::size_t>(y * size.cx + x)];
                    for (int shift : {0, 8, 16})
                        total += std::abs(static_cast<int>((p >> shift) & 0xff) -
                                          static_cast<int>((q >> shift) & 0xff));
                }
            best = std::min(best, total);
        }
    return best / (3.0 * std::max(1L, size.cx * size.cy));
}

// The icon drawn at the small icon size over the icon window's background.
double difference_from(const NotificationIcon& shown, HICON icon) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    return difference_from(shown.at, {size, size}, [&](HDC drawn, COLORREF corner) {
        const HBRUSH background = CreateSolidBrush(corner);
        const RECT all{0, 0, size, size};
        FillRect(drawn, &all, background);
        DeleteObject(background);
        DrawIconEx(drawn, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    });
}

// The text drawn as a menu draws it: menu font and colours, && as &.
double difference_from_text(HWND menu, const wchar_t* text) {
    RECT at{}, box{};
    GetWindowRect(menu, &at);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const HFONT font = CreateFontIndirectW(&metrics.lfMenuFont);
    const HDC measure = CreateCompatibleDC(nullptr);
    SelectObject(measure, font);
    DrawTextW(measure, text, -1, &box, DT_SINGLELINE | DT_CALCRECT);
    DeleteDC(measure);
    const double difference =
        difference_from(at, {box.right, box.bottom}, [&](HDC drawn, COLORREF) {
            FillRect(drawn, &box, GetSysColorBrush(COLOR_MENU));
            SelectObject(drawn, font);
            SetTextColor(drawn, GetSysColor(COLOR_MENUTEXT));
            SetBkMode(drawn, TRANSPARENT);
            DrawTextW(drawn, text, -1, &box, DT_SINGLELINE);
        });
    DeleteObject(font);
    return difference;
}

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
    const auto before = notification_icons();
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

    const auto icon = wait_for_new_icon(before, 10s);
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
    const auto before = notification_icons();
    const auto tray = start_tray(install);
    const auto icon = wait_for_new_icon(before, 20s);
    ASSERT_TRUE(icon) << "no icon of this tray in the notification area within 20 s";
    EXPECT_TRUE(drawn_as(*icon, generic_icon(), icon_file(bin_dir() / "icon.ico")))
        << "the generic application icon without icon.ico";
    const auto server = open_server(install);
    ASSERT_TRUE(server) << "the server's process could not be opened";

    PostMessageW(tray_window(tray, 10s), WM_COMMAND, static_cast<WPARAM>(tray::TrayCommand::Quit),
                 0);
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

// A right-click on the icon: the menu's window, or nullptr when none opened within 10 s.
HWND open_menu(HWND tray_window, DWORD pid) {
    PostMessageW(tray_window, tray::WM_TRAYICON, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    wait_until([&] { return (menu = find_window(nullptr, L"#32768", pid)) != nullptr; }, 10s);
    return menu;
}

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
    const HWND window = tray_window(tray, 20s);
    ASSERT_NE(window, nullptr) << "the tray made no window within 20 s: " << tray_state(tray);
    // The menu opens above the cursor, which thus rests on no item.
    SetCursorPos(300, 600);
    const HWND menu = open_menu(window, tray.pid);
    ASSERT_NE(menu, nullptr) << "no menu opened within 10 s of a right-click";
    constexpr double kAlike = 2;
    for (std::size_t i = 0; i < 4; ++i) {
        double to_text = 255, to_other = 0;
        EXPECT_TRUE(wait_until(
            [&] {
                to_text = difference_from_text(menu, row->texts[i]);
                to_other = difference_from_text(menu, row->other[i]);
                return to_text < kAlike && to_other > kAlike;
            },
            5s))
            << "within 5 s the menu did not show \"" << row->texts[i] << "\" (mean difference "
            << to_text << ") rather than \"" << row->other[i] << "\" (" << to_other << ")";
    }
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(quit_tray(tray), 0u) << "the tray did not end with status 0 on Quit";

    const auto started = Clock::now();
    const auto lonely = start_tray(make_install("language-dialog", std::nullopt));
    HWND dialog = nullptr;
    ASSERT_TRUE(wait_until(
        [&] { return (dialog = find_window(nullptr, L"#32770", lonely.pid)) != nullptr; }, 25s))
        << "no failure dialog within 25 s";
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
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(lonely.wait_exit(10s), 0u) << "the tray did not end with status 0 after the dialog";
}

// Whatever started the tray reads its status: a stop must not pass for
// success. Its one line is all it writes.
TEST(Scenario, TheFatalStopEndsWithStatusOneAndSaysWhy) {
    const std::string line = "Pellox Desktop Tray: create message window (error 1407)\n";
    EXPECT_EXIT(
        (SetLastError(ERROR_CANNOT_FIND_WND_CLASS), platform::fatal_stop("create message window")),
        testing::ExitedWithCode(1), testing::Matcher<const std::string&>(testing::Eq(line)));
}

// The start-up wait is timed on this clock.
TEST(Scenario, TheMonotonicClockKeepsTheMilliseconds) {
    for (int i = 0; i < 4; ++i) {
        const auto ours = platform::monotonic_now();
        const auto started = Clock::now();
        Sleep(150);
        const auto measured =
            std::chrono::duration<double, std::milli>(platform::monotonic_now() - ours);
        const std::chrono::duration<double, std::milli> real = Clock::now() - started;
        EXPECT_NEAR(measured.count(), real.count(), 20);
    }
}

// The server may hold runtime.json while the tray reads it, and must then
// have it alone again; a huge one (a damaged disk, a stray copy) must cost a
// 250 ms poll no more than a small one. A folder is no server.
TEST(Scenario, RuntimeJsonIsReadSharedAndNeverWholeAndAFolderIsNoServer) {
    const auto install = make_install("files", std::nullopt);
    const auto folder = install.install / "Pellox-Desktop.exe";
    fs::create_directory(folder);
    EXPECT_EQ(platform::file_type(folder.wstring()), platform::FileType::Directory);

    SetEnvironmentVariableW(L"APPDATA", install.appdata.wstring().c_str());
    const auto file = install.runtime_json();
    write_text(file, R"({"port": 1})");
    // This writer lets others only read: the read must share writing and
    // deleting to open the file at all.
    const HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(server_link::read_runtime_port(), 1);
    CloseHandle(writer);
    const HANDLE alone = CreateFileW(file.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE) << "the read left the file open";
    CloseHandle(alone);

    const std::string document = R"({"port":8003})";
    const std::pair<long long, std::optional<std::uint16_t>> cases[] = {
        {64 << 10, 8003}, {(64 << 10) + 1, std::nullopt}, {512LL << 20, std::nullopt}};
    for (const auto& [size, port] : cases) {
        // The document, spaces, and from 1 MiB on a hole (sparse).
        write_text(file, document + std::string(std::min(size, 1LL << 20) - document.size(), ' '));
        fs::resize_file(file, size);
        const auto started = Clock::now();
        EXPECT_EQ(server_link::read_runtime_port(), port) << size;
        EXPECT_LT(Clock::now() - started, 250ms) << size;
    }
}

// The stand-in server on its own, answering as the settings say; its port.
std::pair<Process, std::uint16_t> start_server(const std::string& name,
                                               const nlohmann::json& settings) {
    const auto install = make_install(name, settings);
    auto server = start_program(install.install / "Pellox-Desktop.exe", install.install);
    std::optional<int> port;
    wait_until([&] { return (port = listening_port(install)).has_value(); }, 10s);
    return {std::move(server), static_cast<std::uint16_t>(port.value_or(0))};
}

// Each receive waits at most 3 s, but only each: a server that keeps dripping
// is waited for. Port 1 has nobody listening.
TEST(Scenario, HostileServersGiveNothingOrTheWholeBodyInTime) {
    const std::string huge(64 << 20, 'x');
    struct Case {
        const char* reply;  // none: the port refuses
        std::optional<std::string> body;
        double at_least_s, at_most_s;
    };
    const Case cases[] = {{"silent", std::nullopt, 2.5, 6},
                          {nullptr, std::nullopt, 0, 2.5},
                          {"huge", huge, 0, 30},
                          {"drip", "abcd", 8, 12.5}};
    for (const auto& c : cases) {
        const auto [server, port] = c.reply ? start_server(std::string("hostile-") + c.reply,
                                                           {{"publish", false}, {"reply", c.reply}})
                                            : std::pair<Process, std::uint16_t>{{}, 1};
        ASSERT_NE(port, 0) << c.reply << ": the server did not listen within 10 s";
        server_link::ServerPort = port;
        const auto started = Clock::now();
        const auto body = server_link::http_request("GET", "/api/features", std::nullopt);
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        EXPECT_TRUE(body == c.body && seconds >= c.at_least_s && seconds <= c.at_most_s)
            << (c.reply ? c.reply : "refused") << ": " << (body ? body->size() : 0)
            << " bytes after " << seconds << " s";
    }
}

// The tray makes an exchange for every menu: one socket left open each time
// would add up.
TEST(Scenario, EachExchangeClosesItsSocket) {
    const auto [server, port] = start_server("exchanges", {{"publish", false}});
    server_link::ServerPort = port;
    // The first exchange starts Winsock, which keeps what it opens.
    server_link::http_request("GET", "/api/features", std::nullopt);
    const DWORD before = handle_count(GetCurrentProcess());
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(server_link::http_request("GET", "/api/features", std::nullopt)) << i;
    EXPECT_EQ(handle_count(GetCurrentProcess()), before) << "handles after five exchanges";
}

// A right-click on the icon, then Escape in the menu: the switches read from
// the server, nothing changed. Gives the menu's handle, or what did not happen.
struct MenuCycle {
    HMENU menu = nullptr;
    const char* failure = nullptr;
};
MenuCycle open_and_dismiss_menu(HWND tray_window, DWORD pid) {
    const HWND window = open_menu(tray_window, pid);
    if (window == nullptr)
        return {.failure = "no menu opened within 10 s of a right-click"};
    DWORD_PTR menu = 0;
    if (!SendMessageTimeoutW(window, MN_GETHMENU, 0, 0, SMTO_NORMAL, 5000, &menu))
        return {.failure = "the menu window did not answer within 5 s"};
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    if (!wait_until([&] { return find_window(nullptr, L"#32768", pid) == nullptr; }, 10s))
        return {.failure = "the menu did not close within 10 s of Escape"};
    return {.menu = reinterpret_cast<HMENU>(menu)};
}

// Wine counts no user objects (GetGuiResources answers 0, "not implemented"),
// but it numbers them in one machine-wide table (handle 0x20 + 2 x slot in the
// low word) that reuses the slot freed last: destroyed menus keep landing in
// the same few slots, leaked ones climb a slot a menu.
std::uint32_t user_handle_slot(HMENU menu) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(menu) & 0xFFFF) / 2;
}

TEST(Soak, TenCopiesAtOnceGiveOneServerOneIconAndOneDashboard) {
    clear_browser_log();
    const auto install = make_install("ten-copies", nlohmann::json{{"publish_delay_ms", 1000}});
    std::vector<Process> trays;
    for (int i = 0; i < 10; ++i)
        trays.push_back(start_tray(install));
    const auto is_running = [](const Process& tray) { return !tray.wait_exit(0ms); };
    ASSERT_TRUE(
        wait_until([&] { return std::count_if(trays.begin(), trays.end(), is_running) == 1; }, 30s))
        << "ten copies did not come down to one running copy within 30 s";
    const Process& first = *std::find_if(trays.begin(), trays.end(), is_running);
    for (const auto& tray : trays)
        EXPECT_EQ(tray.wait_exit(0ms).value_or(0), 0u) << "copy " << tray.pid;
    ASSERT_TRUE(wait_until([] { return !opened_urls().empty(); }, 20s))
        << "no copy opened the dashboard within 20 s";
    // A copy started now finds the first one's mutex and the published port.
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\PelloxDesktopTray");
    EXPECT_NE(mutex, nullptr) << "the running copy holds no mutex";
    CloseHandle(mutex);
    const auto opened = opened_urls().size();
    // Kept until the end: its job would end the browser it started.
    const auto late = start_tray(install);
    EXPECT_EQ(late.wait_exit(10s), 0u) << "a late copy did not end within 10 s";
    EXPECT_TRUE(wait_until([&] { return opened_urls().size() > opened; }, 5s))
        << "a late copy opened no dashboard within 5 s";
    EXPECT_EQ(server_log(install, R"("event":"start")").size(), 1u);
    const auto port = std::to_string(listening_port(install).value_or(0));
    for (const auto& url : opened_urls())
        EXPECT_EQ(url, "http://127.0.0.1:" + port + "/");
    // The one copy left has the one icon window: Quit reaches it there.
    EXPECT_EQ(quit_tray(first), 0u) << "the running copy did not end with status 0 on Quit";
}

TEST(Soak, AThousandMenusAndExchangesLeaveTheHandleCountsAsTheyWere) {
    const auto install = make_install("menu-soak", nlohmann::json{{"features", {{"media", true}}}});
    const auto tray = start_tray(install);
    const HWND window = tray_window(tray, 20s);
    ASSERT_NE(window, nullptr) << "the tray made no window within 20 s: " << tray_state(tray);
    // The first menus allocate what every later one reuses.
    constexpr int kWarmUp = 5, kCycles = 1000;
    std::uint32_t highest_slot = 0;
    for (int i = 0; i < kWarmUp; ++i) {
        const auto cycle = open_and_dismiss_menu(window, tray.pid);
        ASSERT_EQ(cycle.failure, nullptr) << "warm-up " << i << ": " << cycle.failure;
        highest_slot = std::max(highest_slot, user_handle_slot(cycle.menu));
    }
    ASSERT_NE(highest_slot, 0u) << "the menu window gave no menu handle";
    const DWORD before = handle_count(tray.handle.get());
    // A count that does not see a new handle would prove nothing below.
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), tray.handle.get(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    EXPECT_EQ(handle_count(tray.handle.get()), before + 1);
    DuplicateHandle(tray.handle.get(), copy, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS);
    CloseHandle(copy);
    for (int i = 0; i < kCycles; ++i) {
        const auto cycle = open_and_dismiss_menu(window, tray.pid);
        ASSERT_EQ(cycle.failure, nullptr) << "cycle " << i << ": " << cycle.failure;
        // Room for objects of other programs in between, not for one a menu.
        ASSERT_LE(user_handle_slot(cycle.menu), highest_slot + 32)
            << "cycle " << i << ": menus are not destroyed";
    }
    EXPECT_EQ(handle_count(tray.handle.get()), before);
    EXPECT_EQ(server_log(install, R"("method":"GET")").size(), std::size_t{kCycles + kWarmUp});
    EXPECT_EQ(server_log(install, R"("method":"POST")").size(), 0u);
    EXPECT_EQ(quit_tray(tray), 0u) << "the tray did not end with status 0 on Quit";
}

}  // namespace

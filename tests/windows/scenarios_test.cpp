// What only the real system shows: the dialog, file sharing and Winsock
// time-outs; then the long runs (Soak.*, CTest label soak): a thousand menus,
// each with its exchange, many copies at once with the named mutex and the
// shell, and runtime.json files far larger than any server writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "harness.h"
#include "platform/files.h"
#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "tray/tray_menu.h"

namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

TEST(Scenario, WithoutAServerTheFailureDialogShowsAfterTwentySeconds) {
    const auto install = make_install("failure-dialog", std::nullopt);
    const auto started = Clock::now();
    const auto tray = start_tray(install);
    HWND dialog = nullptr;
    ASSERT_TRUE(wait_until(
        [&] { return (dialog = find_window(nullptr, L"#32770", tray.pid)) != nullptr; }, 40s));
    EXPECT_GE(Clock::now() - started, 19s);
    EXPECT_LE(Clock::now() - started, 25s);

    const wchar_t* const explanation =
        L"Pellox Desktop could not start its library server.\n\nTry running the installer again. "
        L"If it keeps happening, there will be a pellox-desktop-error.log in the install folder "
        L"saying why.";
    wchar_t text[1024] = {};
    // Found by its text regardless of letter case, so compared once more.
    GetWindowTextW(FindWindowExW(dialog, nullptr, nullptr, explanation), text, 1024);
    EXPECT_STREQ(text, explanation);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(tray.wait_exit(10s), 0u);
}

TEST(Scenario, AFolderIsNoServerAndRuntimeJsonIsReadWhileTheServerHoldsIt) {
    const auto folder = make_install("files", std::nullopt).install;
    const auto file = folder / "runtime.json";
    write_text(file, R"({"port": 1})");
    fs::create_directory(folder / "Pellox-Desktop.exe");
    EXPECT_EQ(platform::file_type((folder / "Pellox-Desktop.exe").wstring()),
              platform::FileType::Directory);

    // This writer lets others only read: the read must share writing and
    // deleting to open the file at all.
    const HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::read_shared_file(file.wstring(), 1024), R"({"port": 1})");
    CloseHandle(writer);
    // Nothing of the read stays open: the server can have the file alone, and delete it.
    const HANDLE alone = CreateFileW(file.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE);
    CloseHandle(alone);
}

// Each receive waits at most 3 s, but only each: a server that keeps dripping
// is waited for.
TEST(Scenario, HostileServersGiveNothingOrTheWholeBodyInTime) {
    const std::string big(64 << 20, 'x');
    struct Case {
        const char* what;
        std::function<void(SOCKET)> behaviour;  // none: the port refuses
        std::optional<std::string> body;
        double at_least_s, at_most_s;
    };
    const Case cases[] = {
        // Waits until the client gives up.
        {"silent", [](SOCKET client) { recv(client, std::array<char, 1>{}.data(), 1, 0); },
         std::nullopt, 2.5, 6},
        {"refused", nullptr, std::nullopt, 0, 2.5},
        {"64 MiB", [&](SOCKET client) { send_text(client, "HTTP/1.1 200 OK\r\n\r\n" + big); }, big,
         0, 30},
        {"slow drip",
         [](SOCKET client) {
             for (const char* piece : {"HTTP/1.1 200 OK\r\n\r\n", "a", "b", "c", "d"}) {
                 send_text(client, piece);
                 Sleep(2000);
             }
         },
         "abcd", 8, 12.5},
    };
    for (const auto& c : cases) {
        const auto server = c.behaviour ? std::make_unique<LoopbackServer>(c.behaviour) : nullptr;
        server_link::ServerPort = server ? server->port() : LoopbackServer([](SOCKET) {}).port();
        const auto started = Clock::now();
        const auto body = server_link::http_request("GET", "/api/features", std::nullopt);
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        EXPECT_TRUE(body == c.body && seconds >= c.at_least_s && seconds <= c.at_most_s)
            << c.what << ": " << (body ? body->size() : 0) << " bytes after " << seconds << " s";
    }
}

// A right-click on the icon, then Escape in the menu: the switches read from
// the server, nothing changed.
bool open_and_dismiss_menu(HWND tray_window, DWORD pid) {
    PostMessageW(tray_window, tray::WM_TRAYICON, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!wait_until([&] { return (menu = find_window(nullptr, L"#32768", pid)) != nullptr; }, 10s))
        return false;
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    return wait_until([&] { return find_window(nullptr, L"#32768", pid) == nullptr; }, 10s);
}

TEST(Soak, AThousandMenusAndExchangesLeaveTheHandleCountAsItWas) {
    const auto install = make_install("menu-soak", nlohmann::json{{"features", {{"media", true}}}});
    const auto tray = start_tray(install);
    const HWND window = tray_window(tray, 20s);
    ASSERT_NE(window, nullptr);
    // The first menus allocate what every later one reuses.
    constexpr int kWarmUp = 5, kCycles = 1000;
    for (int i = 0; i < kWarmUp; ++i)
        ASSERT_TRUE(open_and_dismiss_menu(window, tray.pid));
    const DWORD before = handle_count(tray.handle.get());
    // A count that does not see a new handle would prove nothing below.
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), tray.handle.get(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    EXPECT_EQ(handle_count(tray.handle.get()), before + 1);
    DuplicateHandle(tray.handle.get(), copy, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS);
    CloseHandle(copy);
    for (int i = 0; i < kCycles; ++i)
        ASSERT_TRUE(open_and_dismiss_menu(window, tray.pid)) << "cycle " << i;
    EXPECT_EQ(handle_count(tray.handle.get()), before);
    EXPECT_EQ(server_log(install, R"("method":"GET")").size(), std::size_t{kCycles + kWarmUp});
    EXPECT_EQ(server_log(install, R"("method":"POST")").size(), 0u);
    EXPECT_EQ(quit_tray(tray), 0u);
}

TEST(Soak, TenCopiesAtOnceGiveOneServerOneIconAndOneDashboard) {
    clear_browser_log();
    const auto install = make_install("ten-copies", nlohmann::json{{"publish_delay_ms", 1000}});
    std::vector<Process> trays;
    for (int i = 0; i < 10; ++i)
        trays.push_back(start_tray(install));
    const auto is_running = [](const Process& tray) { return !tray.wait_exit(0ms); };
    ASSERT_TRUE(wait_until(
        [&] { return std::count_if(trays.begin(), trays.end(), is_running) == 1; }, 30s));
    const Process& first = *std::find_if(trays.begin(), trays.end(), is_running);
    for (const auto& tray : trays)
        EXPECT_EQ(tray.wait_exit(0ms).value_or(0), 0u) << "copy " << tray.pid;
    ASSERT_TRUE(wait_until([] { return !opened_urls().empty(); }, 20s));
    // A copy started now finds the first one's mutex and the published port.
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\PelloxDesktopTray");
    EXPECT_NE(mutex, nullptr);
    CloseHandle(mutex);
    const auto opened = opened_urls().size();
    EXPECT_EQ(start_tray(install).wait_exit(10s), 0u);
    EXPECT_TRUE(wait_until([&] { return opened_urls().size() > opened; }, 5s));
    EXPECT_EQ(server_log(install, R"("event":"start")").size(), 1u);
    const auto port = std::to_string(listening_port(install).value_or(0));
    for (const auto& url : opened_urls())
        EXPECT_EQ(url, "http://127.0.0.1:" + port + "/");
    // The one copy left has the one icon window: Quit reaches it there.
    EXPECT_EQ(quit_tray(first), 0u);
}

// runtime.json is a few dozen bytes; a huge one (a damaged disk, a stray
// copy) must cost a 250 ms poll no more than a small one.
TEST(Soak, AHugeRuntimeFileIsNotReadWhole) {
    const auto install = make_install("huge-runtime", std::nullopt);
    SetEnvironmentVariableW(L"APPDATA", install.appdata.wstring().c_str());
    const std::string document = R"({"port":8003})";
    const std::pair<long long, std::optional<std::uint16_t>> cases[] = {
        {64 << 10, 8003}, {(64 << 10) + 1, std::nullopt}, {512LL << 20, std::nullopt}};
    for (const auto& [size, port] : cases) {
        // The document, spaces, and from 1 MiB on a hole (sparse).
        write_text(install.runtime_json(),
                   document + std::string(std::min(size, 1LL << 20) - document.size(), ' '));
        fs::resize_file(install.runtime_json(), size);
        const auto started = Clock::now();
        EXPECT_EQ(server_link::read_runtime_port(), port) << size;
        EXPECT_LT(Clock::now() - started, 250ms) << size;
    }
}

}  // namespace

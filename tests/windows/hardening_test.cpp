// The real program under load and abuse: long menu use, many copies at once,
// and a huge runtime.json.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "harness.h"
#include "server_link/runtime_file.h"

namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

constexpr UINT kTrayIconMessage = WM_APP + 1;  // the tray's WM_TRAYICON

struct Counts {
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
};

Counts counts_of(HANDLE process) {
    Counts counts;
    counts.handles = handle_count(process);
    counts.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    counts.user = GetGuiResources(process, GR_USEROBJECTS);
    return counts;
}

bool owned_by(HWND window, DWORD pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == pid;
}

std::vector<HWND> tray_windows() {
    std::vector<HWND> found;
    for (HWND window = nullptr;
         (window = FindWindowExW(HWND_MESSAGE, window, L"PelloxTray", nullptr)) != nullptr;) {
        found.push_back(window);
    }
    return found;
}

HWND tray_window_of(DWORD pid) {
    for (HWND window : tray_windows()) {
        if (owned_by(window, pid))
            return window;
    }
    return nullptr;
}

// The visible popup menu the process shows, if any.
HWND open_menu_of(DWORD pid) {
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, L"#32768", nullptr)) != nullptr;) {
        if (IsWindowVisible(window) && owned_by(window, pid))
            return window;
    }
    return nullptr;
}

long count_events(const Install& install, const std::string& event, const std::string& method) {
    long count = 0;
    for (const auto& entry : server_log(install)) {
        if (entry.value("event", "") == event &&
            (method.empty() || entry.value("method", "") == method)) {
            ++count;
        }
    }
    return count;
}

std::string listening_url(const Install& install) {
    for (const auto& entry : server_log(install)) {
        if (entry.value("event", "") == "listening") {
            return "http://127.0.0.1:" + std::to_string(entry.at("port").get<int>()) + "/";
        }
    }
    return "";
}

// Right-click on the icon, then Escape in the menu: the way a user looks at
// the switches and changes nothing.
bool open_and_dismiss_menu(HWND tray, DWORD pid) {
    PostMessageW(tray, kTrayIconMessage, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!wait_until([&] { return (menu = open_menu_of(pid)) != nullptr; }, 10s))
        return false;
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    return wait_until([&] { return open_menu_of(pid) == nullptr; }, 10s);
}

TEST(Hardening, MenuOpenAndDismissLeaksNothing) {
    const int cycles = environment_number("PELLOX_SOAK_CYCLES", 100);
    const auto install = make_install("menu-soak", nlohmann::json{{"features", {{"media", true}}}});
    const auto tray = start_tray(install, install.install);
    HWND window = nullptr;
    ASSERT_TRUE(wait_until([&] { return (window = tray_window_of(tray.pid())) != nullptr; }, 20s));

    // The first menus allocate what every later one reuses.
    constexpr int kWarmUp = 5;
    for (int i = 0; i < kWarmUp; ++i)
        ASSERT_TRUE(open_and_dismiss_menu(window, tray.pid()));
    const Counts before = counts_of(tray.handle());
    const auto started = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        ASSERT_TRUE(open_and_dismiss_menu(window, tray.pid())) << "cycle " << i;
    }
    const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const Counts after = counts_of(tray.handle());
    std::printf(
        "menu soak: %d cycles in %.1f s; handles %lu -> %lu, GDI %lu -> %lu, USER %lu -> %lu\n",
        cycles, seconds, before.handles, after.handles, before.gdi, after.gdi, before.user,
        after.user);
    EXPECT_GT(before.handles, 0u) << "the handle count could not be read";
    EXPECT_EQ(after.handles, before.handles);
    // Wine's GetGuiResources answers 0 for everything; there only the handle
    // count means anything.
    if (before.gdi + before.user > 0) {
        EXPECT_EQ(after.gdi, before.gdi);
        EXPECT_EQ(after.user, before.user);
    }

    // Every menu read the switches once; Escape chose nothing.
    EXPECT_EQ(count_events(install, "request", "GET"), cycles + kWarmUp);
    EXPECT_EQ(count_events(install, "request", "POST"), 0);
    EXPECT_EQ(quit_tray(tray), 0u);
    stop_servers(install);
}

TEST(Hardening, TenCopiesAtOnceGiveOneServerAndOneIcon) {
    clear_browser_log();
    const auto install = make_install("ten-copies", nlohmann::json{{"publish_delay_ms", 1000}});
    std::vector<Process> trays;
    trays.reserve(10);
    for (int i = 0; i < 10; ++i)
        trays.push_back(start_tray(install, install.install));

    const auto exited = [&] {
        long count = 0;
        for (const auto& tray : trays)
            count += tray.wait_exit(0ms).has_value();
        return count;
    };
    EXPECT_TRUE(wait_until([&] { return exited() == 9; }, 30s)) << exited() << " exited";
    const Process* running = nullptr;
    for (const auto& tray : trays) {
        const auto code = tray.wait_exit(0ms);
        if (!code) {
            running = &tray;
        } else {
            EXPECT_EQ(*code, 0u) << "copy " << tray.pid();
        }
    }
    ASSERT_NE(running, nullptr);
    const auto dashboard = listening_url(install);
    ASSERT_TRUE(wait_until(
        [&] {
            const auto urls = opened_urls();
            return std::find(urls.begin(), urls.end(), dashboard) != urls.end();
        },
        20s));
    EXPECT_EQ(count_events(install, "start", ""), 1);
    const auto windows = tray_windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_TRUE(owned_by(windows[0], running->pid()));
    // A copy that came after the port was published opens the same dashboard.
    for (const auto& url : opened_urls())
        EXPECT_EQ(url, dashboard);
    EXPECT_EQ(quit_tray(*running), 0u);
    stop_servers(install);
}

// runtime.json is a few dozen bytes; a huge one (a damaged disk, a stray
// copy) must cost each 250 ms poll no more than a small one.
TEST(Hardening, AHugeRuntimeFileIsNotReadWhole) {
    const auto install = make_install("huge-runtime", std::nullopt);
    fs::create_directories(install.runtime_json().parent_path());
    const std::string port_text = R"({"port":8003})";
    struct Case {
        long long size;
        std::optional<std::uint16_t> port;
        double at_most_s;
    };
    const Case cases[] = {
        {64 * 1024, 8003, 0.25},
        {64 * 1024 + 1, std::nullopt, 0.25},
        {512LL * 1024 * 1024, std::nullopt, 0.25},
    };
    SetEnvironmentVariableW(L"APPDATA", install.appdata.wstring().c_str());
    for (const auto& c : cases) {
        // The valid document, then spaces, then (sparse) zeros up to the size.
        const HANDLE file = CreateFileW(install.runtime_json().wstring().c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::string head =
            port_text + std::string(std::min<long long>(c.size, 1 << 20) - port_text.size(), ' ');
        DWORD written = 0;
        WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
        LARGE_INTEGER size{};
        size.QuadPart = c.size;
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        ASSERT_TRUE(SetEndOfFile(file));
        CloseHandle(file);

        const auto started = Clock::now();
        const auto port = server_link::read_runtime_port();
        const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();
        std::printf("runtime.json of %lld bytes: read in %.3f s\n", c.size, seconds);
        EXPECT_EQ(port, c.port) << c.size;
        EXPECT_LT(seconds, c.at_most_s) << c.size;
    }
    SetEnvironmentVariableW(L"APPDATA", nullptr);
}

}  // namespace

// The long runs (CTest label soak): many copies at once with the named mutex
// and the shell, and a thousand menus, each with its exchange and none left
// behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "input.h"

namespace {

using namespace harness;

// A right-click on the icon, then Escape in the menu: the switches read from
// the server, nothing changed. Gives the menu's handle, or what did not happen.
struct MenuCycle {
    HMENU menu = nullptr;
    const char* failure = nullptr;
};
MenuCycle open_and_dismiss_menu(const NotificationIcon& icon, DWORD pid) {
    const HWND window = open_menu(icon, pid);
    if (window == nullptr)
        return {.failure = "no menu opened within 10 s of a right-click"};
    DWORD_PTR menu = 0;
    if (!SendMessageTimeoutW(window, MN_GETHMENU, 0, 0, SMTO_NORMAL, 5000, &menu))
        return {.failure = "the menu window did not answer within 5 s"};
    press({VK_ESCAPE});
    if (!menu_closed(pid))
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
    std::vector<Tray> trays;
    for (int i = 0; i < 10; ++i)
        trays.push_back(start_tray(install));
    const auto is_running = [](const Tray& tray) { return !tray.wait_exit(0ms); };
    ASSERT_TRUE(
        wait_until([&] { return std::count_if(trays.begin(), trays.end(), is_running) == 1; }, 30s))
        << "ten copies did not come down to one running copy within 30 s";
    const Tray& first = *std::find_if(trays.begin(), trays.end(), is_running);
    for (const auto& tray : trays)
        EXPECT_EQ(tray.wait_exit(0ms).value_or(0), 0u) << "copy " << tray.pid;
    ASSERT_TRUE(wait_until([] { return !opened_urls().empty(); }, 20s))
        << "no copy opened the dashboard within 20 s";
    // A copy started now finds the first one's mutex and the published port.
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
    // The one copy left has the one icon: Quit reaches it there.
    EXPECT_EQ(quit_tray(first), 0u) << "the running copy did not end with status 0 on Quit";
}

TEST(Soak, AThousandMenusAndExchangesLeaveTheHandleCountsAsTheyWere) {
    const auto install = make_install("menu-soak", nlohmann::json{{"features", {{"media", true}}}});
    const auto tray = start_tray(install);
    const auto icon = tray_icon(tray, 20s);
    ASSERT_TRUE(icon) << "no icon of this tray within 20 s: " << tray_state(tray);
    // The first menus allocate what every later one reuses.
    constexpr int kWarmUp = 5, kCycles = 1000;
    std::uint32_t highest_slot = 0;
    for (int i = 0; i < kWarmUp; ++i) {
        const auto cycle = open_and_dismiss_menu(*icon, tray.pid);
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
        const auto cycle = open_and_dismiss_menu(*icon, tray.pid);
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

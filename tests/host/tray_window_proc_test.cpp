#include <gtest/gtest.h>

#include "fake_platform.h"
#include "server_link/server_address.h"
#include "tray/tray_menu.h"
#include "tray/tray_window_proc.h"

namespace {

using tray::WM_TRAYICON;

// The menu's items are TrayMenu's; here, which message shows it.
TEST(TrayWindow, AnswersOnlyItsOwnMessages) {
    constexpr std::intptr_t kMouseMove = 0x0200, kLButtonUp = 0x0202;
    const auto high_bits = static_cast<std::intptr_t>(std::int64_t{1} << 32);
    const auto open_id = static_cast<std::uintptr_t>(tray::TrayCommand::OpenDashboard);
    const std::string open = "open http://127.0.0.1:8080/";
    const std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t, std::string> cases[] = {
        {WM_TRAYICON, 1, platform::kWmLButtonDblClk, open},
        {WM_TRAYICON, 1, high_bits | platform::kWmLButtonDblClk, open},
        {WM_TRAYICON, 1, platform::kWmRButtonUp, "menu"},
        {WM_TRAYICON, 1, kLButtonUp, ""},
        {WM_TRAYICON, 1, kMouseMove, ""},
        {platform::kWmCommand, open_id, 0, open},
        {platform::kWmCommand, 0x10000 | open_id, 0, open},  // the id is the low word
        {platform::kWmCommand, static_cast<std::uintptr_t>(tray::TrayCommand::Quit), 0, "quit 0"},
        {platform::kWmCommand, 5, 0, ""},
        {platform::kWmDestroy, 0, 0, "quit 0"},
        {0x0010 /* WM_CLOSE */, 0, 0, "default 0x10"},
    };
    for (const auto& [message, wparam, lparam, calls] : cases) {
        fake::reset();
        server_link::ServerPort = 8080;
        EXPECT_EQ(tray::tray_window_proc(lifecycle::choose_language({}), nullptr, message, wparam,
                                         lparam),
                  calls == "default 0x10" ? 0x4242 : 0);
        EXPECT_EQ(fake::seen({"open", "menu", "quit", "default"}), calls) << message;
    }
}

}  // namespace

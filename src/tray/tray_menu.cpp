#include "tray/tray_menu.h"

#include <vector>

#include "server_link/runtime_file.h"
#include "server_link/server_api.h"

namespace tray {
namespace {

constexpr std::uint32_t kTrackFlags =
    platform::kTpmReturnCmd | platform::kTpmBottomAlign | platform::kTpmRightButton;

std::uint32_t checked_if(bool on) {
    return on ? platform::kMfChecked : platform::kMfString;
}

// The state is read afresh: the menu may have been open for a while.
void toggle_feature(const char* name, bool server_link::FeatureState::*feature) {
    const auto current = server_link::fetch_features();
    server_link::set_feature(name, !(current.*feature));
}

void run_command(std::uint32_t id) {
    switch (static_cast<TrayCommand>(id)) {
        case TrayCommand::OpenDashboard:
            server_link::open_dashboard();
            break;
        case TrayCommand::ToggleMedia:
            toggle_feature("media", &server_link::FeatureState::media);
            break;
        case TrayCommand::ToggleStream:
            toggle_feature("stream", &server_link::FeatureState::stream);
            break;
        case TrayCommand::Quit:
            platform::post_quit_message(0);
            break;
    }
}

bool is_command(std::uint32_t id) {
    return id >= static_cast<std::uint32_t>(TrayCommand::OpenDashboard) &&
           id <= static_cast<std::uint32_t>(TrayCommand::Quit);
}

struct MenuEntry {
    std::uint32_t flags = 0;
    TrayCommand command{};          // 0 for a separator
    const wchar_t* text = nullptr;  // null for a separator
};

// The context menu, top to bottom, with check marks from the given state.
std::vector<MenuEntry> tray_menu_entries(const server_link::FeatureState& features) {
    const MenuEntry separator{.flags = platform::kMfSeparator};
    return {
        {platform::kMfString, TrayCommand::OpenDashboard, L"Open dashboard"},
        separator,
        {checked_if(features.media), TrayCommand::ToggleMedia, L"Share movies, shows && music"},
        {checked_if(features.stream), TrayCommand::ToggleStream, L"Stream this PC"},
        separator,
        {platform::kMfString, TrayCommand::Quit, L"Quit Pellox Desktop"},
    };
}

void show_menu(platform::WindowHandle window) {
    const auto features = server_link::fetch_features();
    const platform::MenuHandle menu = platform::create_popup_menu();
    if (menu == nullptr) {
        return;
    }
    for (const auto& entry : tray_menu_entries(features)) {
        platform::append_menu(menu, entry.flags, static_cast<std::uint32_t>(entry.command),
                              entry.text);
    }
    const auto at = platform::cursor_position().value_or(platform::Point{});
    // Without being foreground the menu would not close on a click elsewhere,
    // and without the WM_NULL it would fail to open on every second click.
    platform::set_foreground_window(window);
    const std::uint32_t chosen = platform::track_popup_menu(menu, kTrackFlags, at, window);
    platform::post_message(window, platform::kWmNull, 0, 0);
    platform::destroy_menu(menu);
    if (is_command(chosen)) {
        run_command(chosen);
    }
}

}  // namespace

std::intptr_t tray_window_proc(platform::WindowHandle window, std::uint32_t message,
                               std::uintptr_t wparam, std::intptr_t lparam) {
    switch (message) {
        case platform::kWmDestroy:
            platform::post_quit_message(0);
            return 0;
        case platform::kWmCommand:
            if (const auto id = static_cast<std::uint32_t>(wparam & 0xFFFF); is_command(id)) {
                run_command(id);
            }
            return 0;
        case WM_TRAYICON:
            // Without NIM_SETVERSION the mouse message arrives in lParam.
            switch (static_cast<std::uint32_t>(lparam)) {
                case platform::kWmLButtonDblClk:
                    server_link::open_dashboard();
                    break;
                case platform::kWmRButtonUp:
                    show_menu(window);
                    break;
                default:
                    break;
            }
            return 0;
        default:
            return platform::default_window_proc(window, message, wparam, lparam);
    }
}

}  // namespace tray

#pragma once

#include <cstdint>
#include <vector>

#include "platform/window.h"
#include "server_link/server_api.h"

namespace tray {

// The icon's callback message.
inline constexpr std::uint32_t WM_TRAYICON = platform::kWmApp + 1;

// Menu item and WM_COMMAND identifiers.
enum class TrayCommand : std::uint32_t {
    OpenDashboard = 1,
    ToggleMedia = 2,
    ToggleStream = 3,
    Quit = 4,
};

struct MenuEntry {
    std::uint32_t flags = 0;
    TrayCommand command{};          // 0 for a separator
    const wchar_t* text = nullptr;  // null for a separator
};

// The context menu, top to bottom, with check marks from the given state.
std::vector<MenuEntry> tray_menu_entries(const server_link::FeatureState& features);

// The hidden window's procedure: the icon's callbacks and the menu commands.
std::intptr_t tray_window_proc(platform::WindowHandle window, std::uint32_t message,
                               std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace tray

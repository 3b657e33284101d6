#pragma once

#include <cstdint>

#include "platform/window.h"

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

// The hidden window's procedure: the icon's callbacks and the menu commands.
std::intptr_t tray_window_proc(platform::WindowHandle window, std::uint32_t message,
                               std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace tray

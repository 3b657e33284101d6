#pragma once

#include <cstdint>

#include "platform/window.h"

namespace tray {

// The callback message the notification icon sends the hidden window.
inline constexpr std::uint32_t WM_TRAYICON = platform::kWmApp + 1;

// The hidden window's procedure: the icon's callbacks and the menu commands.
std::intptr_t tray_window_proc(platform::WindowHandle window, std::uint32_t message,
                               std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace tray

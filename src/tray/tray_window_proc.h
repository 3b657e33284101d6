#pragma once

#include <cstdint>

#include "lifecycle/ui_language.h"
#include "platform/window.h"

namespace tray {

// The callback message the notification icon sends the hidden window.
inline constexpr std::uint32_t WM_TRAYICON = platform::kWmApp + 1;

// The hidden window's procedure: the icon's callbacks and the menu commands,
// its menu in the language given.
std::intptr_t tray_window_proc(const lifecycle::Language& language, platform::WindowHandle window,
                               std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace tray

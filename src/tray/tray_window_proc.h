#pragma once

#include <cstdint>

#include "lifecycle/ui_language.h"
#include "platform/window.h"

namespace tray {

// The hidden window's procedure: the icon's callbacks and the menu commands,
// its menu in the language given.
std::intptr_t tray_window_proc(const lifecycle::Language& language, platform::WindowHandle window,
                               std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace tray

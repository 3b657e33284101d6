#pragma once

#include <cstdint>

#include "lifecycle/ui_language.h"
#include "platform/window.h"

namespace tray {

// The class of the message-only window that receives the icon's callbacks,
// and the callback message the icon sends it.
inline constexpr wchar_t kWindowClass[] = L"PelloxTray";
inline constexpr std::uint32_t WM_TRAYICON = platform::kWmApp + 1;

// Shows the notification icon and runs the message loop until Quit, its menu
// in the language given; the icon is gone again when it returns. A window that
// cannot be created ends the process.
void run_tray(const lifecycle::Language& language);

}  // namespace tray

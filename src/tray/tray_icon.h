#pragma once

namespace tray {

// The class of the message-only window that receives the icon's callbacks.
inline constexpr wchar_t kWindowClass[] = L"PelloxTray";

// Shows the notification icon and runs the message loop until Quit; the icon
// is gone again when it returns. A window that cannot be created ends the
// process.
void run_tray();

}  // namespace tray

#include "tray/tray_window_proc.h"

#include "server_link/server_address.h"
#include "tray/tray_menu.h"

namespace tray {

std::intptr_t tray_window_proc(const lifecycle::Language& language, platform::WindowHandle window,
                               std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    switch (message) {
        case platform::kWmDestroy:
            platform::post_quit_message(0);
            return 0;
        case platform::kWmCommand:
            run_command(static_cast<std::uint32_t>(wparam & 0xFFFF));
            return 0;
        case WM_TRAYICON:
            // Without NIM_SETVERSION the mouse message arrives in lParam.
            switch (static_cast<std::uint32_t>(lparam)) {
                case platform::kWmLButtonDblClk:
                    server_link::open_dashboard();
                    break;
                case platform::kWmRButtonUp:
                    show_tray_menu(window, language);
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

#pragma once

#include <cstdint>
#include <vector>

#include "lifecycle/ui_language.h"
#include "platform/window.h"
#include "server_link/server_api.h"

namespace tray {

// Menu item and WM_COMMAND identifiers.
enum class TrayCommand : std::uint32_t {
    OpenDashboard = 1,
    ToggleMedia = 2,
    ToggleStream = 3,
    Quit = 4,
};

// The context menu, top to bottom, in the language given, with check marks
// from the given state.
std::vector<platform::MenuItem> tray_menu_items(const server_link::FeatureState& features,
                                                const lifecycle::Language& language);

// Carries out a menu command; any other identifier is ignored.
void run_command(std::uint32_t id);

// Reads the switches from the server, shows the menu at the cursor and runs
// what is chosen.
void show_tray_menu(platform::WindowHandle window, const lifecycle::Language& language);

}  // namespace tray

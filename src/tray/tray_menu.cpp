#include "tray/tray_menu.h"

#include "server_link/runtime_file.h"

namespace tray {
namespace {

// The state is read afresh: the menu may have been open for a while.
void toggle_feature(const char* name, bool server_link::FeatureState::*feature) {
    const auto current = server_link::fetch_features();
    server_link::set_feature(name, !(current.*feature));
}

platform::MenuItem item(TrayCommand command, const wchar_t* text, bool checked = false) {
    return {static_cast<std::uint32_t>(command), text, checked};
}

}  // namespace

std::vector<platform::MenuItem> tray_menu_items(const server_link::FeatureState& features) {
    const platform::MenuItem separator{};
    return {
        item(TrayCommand::OpenDashboard, L"Open dashboard"),
        separator,
        item(TrayCommand::ToggleMedia, L"Share movies, shows && music", features.media),
        item(TrayCommand::ToggleStream, L"Stream this PC", features.stream),
        separator,
        item(TrayCommand::Quit, L"Quit Pellox Desktop"),
    };
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

void show_tray_menu(platform::WindowHandle window) {
    const auto items = tray_menu_items(server_link::fetch_features());
    run_command(platform::show_context_menu(window, items));
}

}  // namespace tray

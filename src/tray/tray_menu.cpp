#include "tray/tray_menu.h"

#include "lifecycle/ui_language.h"
#include "server_link/server_address.h"
#include "tray/menu_texts.h"

namespace tray {
namespace {

// The state is read afresh: the menu may have been open for a while.
void toggle_feature(const char* name, bool server_link::FeatureState::*feature) {
    const auto current = server_link::fetch_features();
    server_link::set_feature(name, !(current.*feature));
}

// The text in the user's display language, from the exe's string resources.
platform::MenuItem item(TrayCommand command, std::uint32_t text_id, bool checked = false) {
    return {static_cast<std::uint32_t>(command), lifecycle::ui_text(text_id), checked};
}

}  // namespace

std::vector<platform::MenuItem> tray_menu_items(const server_link::FeatureState& features) {
    const platform::MenuItem separator{};
    return {
        item(TrayCommand::OpenDashboard, IDS_OPEN_DASHBOARD),
        separator,
        item(TrayCommand::ToggleMedia, IDS_SHARE_MEDIA, features.media),
        item(TrayCommand::ToggleStream, IDS_STREAM_THIS_PC, features.stream),
        separator,
        item(TrayCommand::Quit, IDS_QUIT),
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
    run_command(platform::show_context_menu(window, items, lifecycle::UiLanguage->direction));
}

}  // namespace tray

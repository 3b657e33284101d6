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

// The text from the exe's string resources.
platform::MenuItem item(const lifecycle::Language& language, TrayCommand command,
                        std::uint32_t text_id, bool checked = false) {
    return {static_cast<std::uint32_t>(command), lifecycle::ui_text(language, text_id), checked};
}

}  // namespace

std::vector<platform::MenuItem> tray_menu_items(const server_link::FeatureState& features,
                                                const lifecycle::Language& language) {
    const platform::MenuItem separator{};
    return {
        item(language, TrayCommand::OpenDashboard, IDS_OPEN_DASHBOARD),
        separator,
        item(language, TrayCommand::ToggleMedia, IDS_SHARE_MEDIA, features.media),
        item(language, TrayCommand::ToggleStream, IDS_STREAM_THIS_PC, features.stream),
        separator,
        item(language, TrayCommand::Quit, IDS_QUIT),
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

void show_tray_menu(platform::WindowHandle window, const lifecycle::Language& language) {
    const auto items = tray_menu_items(server_link::fetch_features(), language);
    run_command(platform::show_context_menu(window, items, language.direction));
}

}  // namespace tray

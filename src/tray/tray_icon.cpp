#include "tray/tray_icon.h"

#include "platform/files.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/window.h"
#include "tray/tray_window_proc.h"

namespace tray {
namespace {

// The message-only window that receives the icon's callbacks.
constexpr wchar_t kWindowClass[] = L"PelloxTray";
constexpr wchar_t kWindowTitle[] = L"Pellox";
constexpr wchar_t kTooltip[] = L"Pellox Desktop";
constexpr std::uint32_t kIconId = 1;

platform::IconHandle choose_icon() {
    // The path goes to the loader as found, so an unusual folder name still
    // names this very file.
    const auto path = platform::join_path(platform::exe_dir(), L"icon.ico");
    if (platform::file_type(path) == platform::FileType::Regular) {
        if (const auto icon = platform::load_icon_file(path)) {
            return icon;
        }
    }
    return platform::load_application_icon();
}

}  // namespace

void run_tray(const lifecycle::Language& language) {
    const auto window = platform::create_message_window(
        kWindowClass, kWindowTitle,
        [&language](auto window, auto message, auto wparam, auto lparam) {
            return tray_window_proc(language, window, message, wparam, lparam);
        });
    if (window == nullptr) {
        platform::fatal_stop("create message window");
    }
    const platform::NotifyIcon icon{
        .window = window,
        .id = kIconId,
        .callback_message = WM_TRAYICON,
        .icon = choose_icon(),
        .tip = kTooltip,
    };
    platform::add_notify_icon(icon);
    platform::run_message_loop();
    platform::delete_notify_icon(icon);
}

}  // namespace tray

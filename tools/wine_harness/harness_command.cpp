// The harness's operations for the scripts (the GUI test, the demo, the
// start-up bench), which run on the Linux side: paths may be given as Linux
// paths.
//   harness install DIR [SERVER_SETTINGS]  the tray, icon.ico and, given
//                                          settings (JSON), the stand-in server
//                                          in DIR/install; DIR/appdata for APPDATA
//   harness run-tray DIR                   runs DIR's tray with DIR/appdata as
//                                          APPDATA and exits with its status
//   harness icons                          one line per icon in the notification
//                                          area: its rectangle, the area's, and
//                                          the icon window's handle
//   harness menus                          one line per popup menu on the screen:
//                                          its rectangle
//   harness menu-row ID                    the rectangle of the row of the menu on
//                                          the screen that shows the tray's text of
//                                          that id (src/tray/menu_texts.h) in the
//                                          language it speaks, once drawn within 5 s
//   harness pids PATH                      the Linux pids of the Wine processes
//                                          running PATH, or any program under it
//   harness hold-desktop                   keeps the desktop for the session:
//                                          runs until the wineserver ends it
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

#include "harness.h"
#include "screen.h"

namespace {

int usage() {
    std::fputs(
        "usage: harness install DIR [SETTINGS] | run-tray DIR | icons | menus | menu-row ID | "
        "pids PATH | hold-desktop\n",
        stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace harness;
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"install" && (argc == 3 || argc == 4)) {
        std::optional<nlohmann::json> settings;
        if (argc == 4) {
            const auto text = fs::path(argv[3]).u8string();
            settings = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
            if (settings->is_discarded())
                return usage();
        }
        lay_out_install(windows_path(argv[2]), settings, true);
        return 0;
    }
    if (command == L"run-tray" && argc == 3) {
        const fs::path root = windows_path(argv[2]);
        const auto tray = start_tray({root / "install", root / "appdata"});
        const auto code = tray.wait_exit(std::chrono::milliseconds(INFINITE));
        // What it started ends with it, but gets a moment to finish first: a
        // browser it opened last has its URL to write down.
        if (!tray.wait_all_ended(3s))
            std::fputs("harness: what the tray started still ran 3 s after it; ended\n", stderr);
        return static_cast<int>(code.value_or(125));
    }
    if (command == L"icons" && argc == 2) {
        for (const auto& icon : notification_icons())
            std::printf(
                "%ld %ld %ld %ld %ld %ld %ld %ld %llx\n", icon.at.left, icon.at.top, icon.at.right,
                icon.at.bottom, icon.area_at.left, icon.area_at.top, icon.area_at.right,
                icon.area_at.bottom,
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(icon.window)));
        return 0;
    }
    if (command == L"menus" && argc == 2) {
        for (const HWND menu : windows_of_class(nullptr, L"#32768")) {
            RECT at{};
            if (IsWindowVisible(menu) && GetWindowRect(menu, &at))
                std::printf("%ld %ld %ld %ld\n", at.left, at.top, at.right, at.bottom);
        }
        return 0;
    }
    if (command == L"menu-row" && argc == 3) {
        std::optional<MenuRow> row;
        for (const HWND menu : windows_of_class(nullptr, L"#32768"))
            if (IsWindowVisible(menu) && !row)
                row = menu_row(menu, tray_text(std::wcstoul(argv[2], nullptr, 10)));
        if (row)
            std::printf("%ld %ld %ld %ld\n", row->at.left, row->at.top, row->at.right,
                        row->at.bottom);
        return row ? 0 : 1;
    }
    if (command == L"pids" && argc == 3) {
        for (const int pid : unix_pids(windows_path(argv[2])))
            std::printf("%d\n", pid);
        return 0;
    }
    if (command == L"hold-desktop" && argc == 2) {
        // The wineserver closes the desktop a second after its last program
        // has ended, and a program starting just then can be left on the
        // closing one, without its windows. A hidden window holds it.
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        return 0;
    }
    return usage();
}

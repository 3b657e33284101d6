#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "platform/window.h"

namespace platform {
namespace {

// The shell takes the structure's size as its version. The full, current one
// is 976 bytes on 64-bit Windows; an older target version in the SDK headers
// would silently give a shorter one.
static_assert(sizeof(void*) != 8 || sizeof(NOTIFYICONDATAW) == 976);

WindowProcedure registered_procedure;

LRESULT CALLBACK dispatch_to_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return registered_procedure(window, message, wparam, lparam);
}

NOTIFYICONDATAW notify_icon_data(const NotifyIcon& icon) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = static_cast<HWND>(icon.window);
    data.uID = icon.id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = icon.callback_message;
    data.hIcon = static_cast<HICON>(icon.icon);
    const std::size_t length = std::min(icon.tip.size(), std::size(data.szTip) - 1);
    std::wmemcpy(data.szTip, icon.tip.data(), length);
    data.szTip[length] = L'\0';
    return data;
}

}  // namespace

std::intptr_t default_window_proc(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                                  std::intptr_t lparam) {
    return DefWindowProcW(static_cast<HWND>(window), message, wparam, lparam);
}

void post_quit_message(int exit_code) {
    PostQuitMessage(exit_code);
}

std::uint32_t show_context_menu(WindowHandle owner, const std::vector<MenuItem>& items,
                                TextDirection direction) {
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return 0;
    }
    for (const auto& item : items) {
        if (item.command == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), item.command,
                        item.text.c_str());
        }
    }
    POINT at{};
    GetCursorPos(&at);
    const HWND window = static_cast<HWND>(owner);
    // Without being foreground the menu would not close on a click elsewhere,
    // and without the WM_NULL it would fail to open on every second click.
    SetForegroundWindow(window);
    // Mirrored: the check marks on the right, the texts against the right
    // edge. (Wine 8 draws an item of the right-order type, MFT_RIGHTORDER, as
    // the system menu's icon.)
    const UINT layout = direction == TextDirection::RightToLeft ? TPM_LAYOUTRTL : 0;
    const auto chosen = static_cast<std::uint32_t>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON | layout, at.x, at.y,
                       0, window, nullptr));
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return chosen;
}

WindowHandle create_message_window(const wchar_t* class_name, const wchar_t* title,
                                   WindowProcedure procedure) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    registered_procedure = procedure;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &dispatch_to_procedure;
    window_class.hInstance = module;
    window_class.lpszClassName = class_name;
    // A failed registration shows as a failure to create the window.
    RegisterClassW(&window_class);
    return CreateWindowExW(0, class_name, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                           nullptr);
}

void run_message_loop() {
    MSG message{};
    // GetMessageW gives -1 on an invalid call; that cannot happen with no
    // window filter, so only 0 (WM_QUIT) ends the loop.
    while (GetMessageW(&message, nullptr, 0, 0) != 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

IconHandle load_icon_file(const NativeString& path) {
    return LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
}

IconHandle load_application_icon() {
    return LoadIconW(nullptr, IDI_APPLICATION);
}

void add_notify_icon(const NotifyIcon& icon) {
    NOTIFYICONDATAW data = notify_icon_data(icon);
    Shell_NotifyIconW(NIM_ADD, &data);
}

void delete_notify_icon(const NotifyIcon& icon) {
    NOTIFYICONDATAW data = notify_icon_data(icon);
    Shell_NotifyIconW(NIM_DELETE, &data);
}

}  // namespace platform

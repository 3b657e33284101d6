#include <algorithm>
#include <functional>
#include <iterator>

#include "harness.h"

namespace harness {
namespace {

bool same_window(const NotificationIcon& a, const NotificationIcon& b) {
    return a.window == b.window;
}

}  // namespace

HWND wait_for_window(HWND parent, const wchar_t* class_name, DWORD pid,
                     std::chrono::milliseconds timeout, std::chrono::milliseconds poll) {
    HWND window = nullptr;
    wait_until([&] { return (window = find_window(parent, class_name, pid)) != nullptr; }, timeout,
               poll);
    return window;
}

HWND find_window(HWND parent, const wchar_t* class_name, DWORD pid) {
    for (const HWND window : windows_of_class(parent, class_name)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && (parent == HWND_MESSAGE || IsWindowVisible(window)))
            return window;
    }
    return nullptr;
}

std::vector<HWND> windows_of_class(HWND parent, const wchar_t* class_name) {
    std::vector<HWND> all, found;
    // No enumeration lists message-only windows. Elsewhere a snapshot: stepping
    // with FindWindowExW from a window that a menu's end destroys meanwhile
    // makes Wine 10's wineserver spin for ever.
    if (parent == HWND_MESSAGE)
        for (HWND window = nullptr; (window = FindWindowExW(parent, window, class_name, nullptr));)
            found.push_back(window);
    const WNDENUMPROC collect = [](HWND window, LPARAM windows) {
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
        return TRUE;
    };
    if (parent == nullptr)
        EnumWindows(collect, reinterpret_cast<LPARAM>(&all));
    else if (parent != HWND_MESSAGE)
        EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&all));
    for (const HWND window : all) {
        wchar_t name[256] = {};
        if (GetClassNameW(window, name, 256) && _wcsicmp(name, class_name) == 0)
            found.push_back(window);
    }
    return found;
}

std::wstring text_of(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 2000, &length);
    return text;
}

// Wine 8 keeps the notification area in a window of its X11 driver, Wine 10
// (like Windows) in explorer's taskbar; each icon is a child window there.
std::vector<NotificationIcon> notification_icons() {
    static constexpr std::pair<const wchar_t*, const wchar_t*> kAreas[] = {
        {L"__winex11_standalone_tray", L"__winex11_tray_icon"},
        {L"Shell_TrayWnd", L"__wine_tray_icon"},
    };
    std::vector<NotificationIcon> icons;
    for (const auto& [area_class, icon_class] : kAreas)
        for (const HWND area : windows_of_class(nullptr, area_class))
            for (const HWND icon : windows_of_class(area, icon_class))
                if (IsWindowVisible(icon)) {
                    NotificationIcon found{icon, area, {}, {}};
                    GetWindowRect(icon, &found.at);
                    GetWindowRect(area, &found.area_at);
                    icons.push_back(found);
                }
    return icons;
}

bool is_shown(const NotificationIcon& icon) {
    return std::ranges::any_of(notification_icons(), std::bind_front(same_window, icon));
}

std::optional<NotificationIcon> new_icon(const std::vector<NotificationIcon>& before,
                                         std::chrono::milliseconds timeout) {
    std::optional<NotificationIcon> found;
    wait_until(
        [&] {
            for (const auto& icon : notification_icons())
                if (std::ranges::none_of(before, std::bind_front(same_window, icon)))
                    found = icon;
            return found.has_value();
        },
        timeout);
    return found;
}

}  // namespace harness

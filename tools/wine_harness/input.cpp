#include "input.h"

#include <vector>

namespace harness {

POINT centre(const RECT& at) {
    return {(at.left + at.right) / 2, (at.top + at.bottom) / 2};
}

void click(POINT at, Button button, int count) {
    SetCursorPos(at.x, at.y);
    std::vector<INPUT> inputs;
    for (int i = 0; i < count; ++i)
        for (const DWORD flag :
             {button == Button::Left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN,
              button == Button::Left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP}) {
            INPUT& input = inputs.emplace_back();
            input.type = INPUT_MOUSE;
            input.mi.dwFlags = flag;
        }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (const WORD key : keys)
        for (const DWORD flag : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
            INPUT& input = inputs.emplace_back();
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = key;
            input.ki.dwFlags = flag;
        }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND open_menu(const NotificationIcon& icon, DWORD pid, std::chrono::milliseconds poll) {
    click(centre(icon.at), Button::Right);
    HWND menu = nullptr;
    wait_until([&] { return (menu = find_window(nullptr, L"#32768", pid)) != nullptr; }, 10s, poll);
    return menu;
}

bool menu_closed(DWORD pid, std::chrono::milliseconds poll) {
    return wait_until([&] { return find_window(nullptr, L"#32768", pid) == nullptr; }, 10s, poll);
}

std::optional<DWORD> quit_tray(const Tray& tray, std::chrono::milliseconds timeout) {
    const auto icon = tray_icon(tray, timeout);
    if (!icon || !open_menu(*icon, tray.pid))
        return std::nullopt;
    // Up from no item selects the last one.
    press({VK_UP, VK_RETURN});
    return tray.wait_exit(timeout);
}

}  // namespace harness

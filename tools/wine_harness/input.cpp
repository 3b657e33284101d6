#include "input.h"

#include <vector>

#include "screen.h"
#include "tray/menu_texts.h"

namespace harness {

POINT centre(const RECT& at) {
    return {(at.left + at.right) / 2, (at.top + at.bottom) / 2};
}

void click(POINT at, Button button, int count) {
    SetCursorPos(at.x, at.y);
    const bool left = button == Button::Left;
    std::vector<INPUT> inputs(2 * count, INPUT{.type = INPUT_MOUSE, .mi = {}});
    for (std::size_t i = 0; i < inputs.size(); ++i)
        inputs[i].mi.dwFlags = i % 2 ? (left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP)
                                     : (left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void press(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs(2 * keys.size(), INPUT{.type = INPUT_KEYBOARD, .ki = {}});
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        inputs[i].ki.wVk = keys[i / 2];
        inputs[i].ki.dwFlags = i % 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND open_menu(const NotificationIcon& icon, DWORD pid, std::chrono::milliseconds poll) {
    click(centre(icon.at), Button::Right);
    return wait_for_window(nullptr, L"#32768", pid, 10s, poll);
}

bool menu_closed(DWORD pid, std::chrono::milliseconds poll) {
    return wait_until([&] { return find_window(nullptr, L"#32768", pid) == nullptr; }, 10s, poll);
}

std::optional<DWORD> quit_tray(const Tray& tray, std::chrono::milliseconds timeout) {
    const auto icon = tray_icon(tray, timeout);
    const HWND menu = icon ? open_menu(*icon, tray.pid) : nullptr;
    const auto quit = menu ? menu_row(menu, tray_text(IDS_QUIT)) : std::nullopt;
    if (!quit)
        return std::nullopt;
    click(centre(quit->at), Button::Left);
    return tray.wait_exit(timeout);
}

}  // namespace harness

#pragma once

// What a user does with the mouse and the keyboard, given to the system as
// real input (SendInput): a click lands on whatever window is under the
// pointer, a key goes to the window that has the focus. Nothing here posts a
// program the messages it would get.

#include <windows.h>

#include <chrono>
#include <optional>
#include <vector>

#include "harness.h"

namespace harness {

POINT centre(const RECT& at);

enum class Button { Left, Right };
// Moves the pointer there and clicks the button, twice for a double click.
void click(POINT at, Button button, int count = 1);
// Presses and releases each key in turn.
void press(const std::vector<WORD>& keys);

// Right-clicks the icon; the process's menu once it is on the screen, polled
// every poll period, or nullptr after 10 s.
HWND open_menu(const NotificationIcon& icon, DWORD pid, std::chrono::milliseconds poll = 5ms);
// Whether the process has no menu on the screen within 10 s.
bool menu_closed(DWORD pid, std::chrono::milliseconds poll = 5ms);

// Quit chosen in the tray's menu as a user chooses it, clicked by its text;
// the exit code, or nothing when no menu opened or the tray did not end
// within the time.
std::optional<DWORD> quit_tray(const Tray& tray, std::chrono::milliseconds timeout = 15s);

}  // namespace harness

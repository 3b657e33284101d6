#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace platform {

// The tray's window and its icon as the platform names them; the logic only
// hands them back.
using WindowHandle = void*;
using IconHandle = void*;

// The system calls the tray's window procedure with the messages of its
// window, so this much of Windows' shape shows above this layer: the
// procedure's arguments, in portable types (on 64-bit Windows exactly HWND,
// UINT, WPARAM, LPARAM and LRESULT), and the numbers of the messages it reads.
using WindowProcedure =
    std::function<std::intptr_t(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t)>;

inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmCommand = 0x0111;
inline constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
inline constexpr std::uint32_t kWmRButtonUp = 0x0205;
inline constexpr std::uint32_t kWmApp = 0x8000;

// What the system does with a message the window's own procedure leaves alone.
std::intptr_t default_window_proc(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                                  std::intptr_t lparam);
// Ends this thread's message loop once the messages already queued are handled.
void post_quit_message(int exit_code);

// One line of a context menu: a command with its text and check mark, or a
// separator (command 0).
struct MenuItem {
    std::uint32_t command = 0;
    NativeString text;
    bool checked = false;
};

// Shows the menu at the cursor the way a notification icon's menu must be
// shown, so that it closes on a click elsewhere and opens again on the next
// click, laid out to read in the direction given, and gives the chosen
// command: 0 when it was dismissed or could not be shown.
std::uint32_t show_context_menu(WindowHandle owner, const std::vector<MenuItem>& items,
                                TextDirection direction);

// A window that only receives messages, of a class the executable registers
// with the procedure; null on failure.
WindowHandle create_message_window(const wchar_t* class_name, const wchar_t* title,
                                   WindowProcedure procedure);
// Dispatches this thread's messages until WM_QUIT arrives.
void run_message_loop();

// The icon file at the default icon size; null on failure.
IconHandle load_icon_file(const NativeString& path);
// The system's generic application icon; null on failure.
IconHandle load_application_icon();

struct NotifyIcon {
    WindowHandle window = nullptr;
    std::uint32_t id = 0;
    std::uint32_t callback_message = 0;
    IconHandle icon = nullptr;
    std::wstring_view tip;
};
// Adds the icon to the notification area; a failure is not reported.
void add_notify_icon(const NotifyIcon& icon);
// Takes the icon away from the notification area; a failure is not reported.
void delete_notify_icon(const NotifyIcon& icon);

}  // namespace platform

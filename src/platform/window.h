#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/text.h"

namespace platform {

using WindowHandle = void*;
using MenuHandle = void*;
using IconHandle = void*;
using ModuleHandle = void*;

// A window procedure in portable types; on 64-bit Windows these are exactly
// HWND, UINT, WPARAM, LPARAM and LRESULT.
using WindowProcedure = std::intptr_t (*)(WindowHandle, std::uint32_t, std::uintptr_t,
                                          std::intptr_t);

inline constexpr std::uint32_t kWmNull = 0x0000;
inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmCommand = 0x0111;
inline constexpr std::uint32_t kWmMouseMove = 0x0200;
inline constexpr std::uint32_t kWmLButtonDown = 0x0201;
inline constexpr std::uint32_t kWmLButtonUp = 0x0202;
inline constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
inline constexpr std::uint32_t kWmRButtonUp = 0x0205;
inline constexpr std::uint32_t kWmApp = 0x8000;

inline constexpr std::uint32_t kMfString = 0x0000;
inline constexpr std::uint32_t kMfChecked = 0x0008;
inline constexpr std::uint32_t kMfSeparator = 0x0800;
inline constexpr std::uint32_t kTpmRightButton = 0x0002;
inline constexpr std::uint32_t kTpmBottomAlign = 0x0020;
inline constexpr std::uint32_t kTpmReturnCmd = 0x0100;

std::intptr_t default_window_proc(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                                  std::intptr_t lparam);
void post_quit_message(int exit_code);
void post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                  std::intptr_t lparam);

// Menus.
MenuHandle create_popup_menu();  // null on failure
void append_menu(MenuHandle menu, std::uint32_t flags, std::uintptr_t id, const wchar_t* text);
struct Point {
    int x = 0;
    int y = 0;
};
std::optional<Point> cursor_position();
void set_foreground_window(WindowHandle window);
// The chosen item's identifier, or 0 when the menu was dismissed.
std::uint32_t track_popup_menu(MenuHandle menu, std::uint32_t flags, Point at, WindowHandle owner);
void destroy_menu(MenuHandle menu);

// The window and its message loop.
ModuleHandle executable_module();
void register_window_class(const wchar_t* class_name, WindowProcedure procedure,
                           ModuleHandle module);
// A message-only window (parent HWND_MESSAGE); null on failure.
WindowHandle create_message_window(const wchar_t* class_name, const wchar_t* title,
                                   ModuleHandle module);
// Dispatches this thread's messages until WM_QUIT arrives.
void run_message_loop();

// Icons.
IconHandle load_icon_file(const NativeString& path);  // default size; null on failure
IconHandle load_application_icon();                   // null on failure

struct NotifyIcon {
    WindowHandle window = nullptr;
    std::uint32_t id = 0;
    std::uint32_t callback_message = 0;
    IconHandle icon = nullptr;
    std::wstring_view tip;
};
void add_notify_icon(const NotifyIcon& icon);
void delete_notify_icon(const NotifyIcon& icon);

// Ends the process at once with a failure status, leaving the diagnostic
// (with the system's last error) where a person can find it.
[[noreturn]] void fatal_stop(const char* diagnostic);

}  // namespace platform

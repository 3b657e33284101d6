#pragma once

// The host tests' stand-in for the Windows layer: scripted results, recorded
// calls, and a clock that only moves when the code under test sleeps.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/sockets.h"
#include "platform/window.h"

namespace fake {

struct MessageBoxCall {
    platform::NativeString text;
    platform::NativeString caption;
    std::uint32_t style;
};

struct FakeProcess {
    platform::WaitResult wait = platform::WaitResult::TimedOut;
    std::optional<std::uint32_t> exit_code;
    std::optional<std::uint32_t> terminated_with;
    int waits = 0;
};

// What one recv call gives: bytes, or a failure with this error code.
struct Receive {
    std::string bytes;
    int error = 0;
};

struct Message {
    std::uint32_t message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
};

struct AppendedItem {
    std::uint32_t flags;
    std::uintptr_t id;
    std::wstring text;  // empty for a separator
};

struct NotifyCall {
    bool add;  // else delete
    platform::WindowHandle window;
    std::uint32_t id;
    std::uint32_t callback_message;
    platform::IconHandle icon;
    std::wstring tip;
};

// Thrown by platform::fatal_stop so a test can see the process end.
struct FatalStop {
    std::string diagnostic;
};

struct State {
    // The order of the calls that matter for shutdown: "notify-add",
    // "notify-delete", "send", "sleep <ms>", "terminate".
    std::vector<std::string> journal;

    // Files and environment.
    std::map<platform::NativeString, std::optional<platform::NativeString>> environment;
    std::vector<platform::NativeString> environment_entries;
    std::map<platform::NativeString, std::string> files;
    std::map<platform::NativeString, platform::FileType> file_types;  // beyond `files`
    std::optional<platform::NativeString> module_file_name = L"C:\\Program Files\\Pellox\\tray.exe";
    int file_reads = 0;

    // Time: sleeping advances `now`, then runs `after_sleep`.
    platform::Instant now = std::chrono::hours(1);
    std::vector<std::chrono::milliseconds> sleeps;
    std::function<void()> after_sleep;

    // Kernel objects and processes.
    platform::MutexResult mutex{.has_handle = true, .last_error = 0};
    std::vector<platform::NativeString> mutex_names;
    bool create_process_fails = false;
    std::vector<platform::LaunchRequest> launches;
    std::map<void*, FakeProcess> processes;  // by process handle
    std::vector<void*> closed_handles;

    // Sockets. Each send takes at most the next entry of `send_limits` bytes
    // (all when the list is used up; 0 or -1 are returned as they stand).
    // Receives play `receives`, then report the peer's close.
    bool sockets_start_fails = false;
    int socket_starts = 0;
    bool socket_open_fails = false;
    bool connect_fails = false;
    bool timeout_fails = false;
    std::vector<int> send_limits;
    std::vector<Receive> receives;
    int sockets_opened = 0;
    int sockets_closed = 0;
    std::optional<std::uint16_t> connected_port;
    std::optional<std::uint32_t> receive_timeout;
    std::string sent;                   // by all connections
    std::vector<std::string> requests;  // one per connection
    // When set, answers each connection that has no scripted receives.
    std::function<std::string(const std::string& request)> respond;
    platform::Socket answered_socket = 0;
    int last_socket_error = 0;

    // Windows and menus. run_message_loop dispatches `messages` to the
    // registered procedure until one of them posts a quit.
    platform::WindowProcedure registered_procedure = nullptr;
    std::wstring registered_class;
    bool create_window_fails = false;
    std::vector<Message> messages;
    std::optional<int> quit_posted;
    std::vector<std::pair<platform::WindowHandle, Message>> posted;
    std::vector<Message> defaulted;
    bool create_menu_fails = false;
    std::vector<AppendedItem> menu_items;  // of the menu last created
    std::optional<platform::Point> cursor;
    std::vector<platform::WindowHandle> foreground;
    std::uint32_t menu_choice = 0;  // what the user picks when a menu is tracked
    std::vector<std::uint32_t> track_flags;
    std::vector<platform::Point> track_points;
    int menus_created = 0;
    int menus_destroyed = 0;
    platform::IconHandle icon_from_file = reinterpret_cast<platform::IconHandle>(0x1c0);
    platform::IconHandle application_icon = reinterpret_cast<platform::IconHandle>(0xa99);
    std::vector<platform::NativeString> icon_files_loaded;
    std::vector<NotifyCall> notify_calls;

    // Shell.
    std::vector<platform::NativeString> opened_urls;
    std::vector<MessageBoxCall> message_boxes;
};

State& state();

// Clears the state, including the recorded calls.
void reset();

}  // namespace fake

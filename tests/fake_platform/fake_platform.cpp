#include "fake_platform.h"

#include <algorithm>

namespace fake {

State& state() {
    static State current;
    return current;
}

void reset() {
    state() = State{};
}

}  // namespace fake

namespace platform {

std::optional<NativeString> environment_variable(const wchar_t* name) {
    const auto found = fake::state().environment.find(name);
    if (found == fake::state().environment.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<NativeString> environment_entries() {
    return fake::state().environment_entries;
}

std::optional<std::string> read_shared_file(const NativeString& path, std::size_t max_bytes) {
    auto& s = fake::state();
    ++s.file_reads;
    const auto found = s.files.find(path);
    if (found == s.files.end() || found->second.size() > max_bytes) {
        return std::nullopt;
    }
    return found->second;
}

FileType file_type(const NativeString& path) {
    auto& s = fake::state();
    if (const auto found = s.file_types.find(path); found != s.file_types.end()) {
        return found->second;
    }
    return s.files.contains(path) ? FileType::Regular : FileType::Missing;
}

std::optional<NativeString> module_file_name() {
    return fake::state().module_file_name;
}

Instant monotonic_now() {
    return fake::state().now;
}

void sleep_for(std::chrono::milliseconds duration) {
    auto& s = fake::state();
    s.sleeps.push_back(duration);
    s.journal.push_back("sleep " + std::to_string(duration.count()));
    s.now += duration;
    if (s.after_sleep) {
        s.after_sleep();
    }
}

MutexResult create_owned_mutex(const wchar_t* name) {
    fake::state().mutex_names.emplace_back(name);
    return fake::state().mutex;
}

std::optional<ProcessHandles> create_process(const LaunchRequest& request) {
    auto& s = fake::state();
    s.launches.push_back(request);
    if (s.create_process_fails) {
        return std::nullopt;
    }
    // Distinct, never-dereferenced handle values.
    static std::uintptr_t next = 0x1000;
    auto* process = reinterpret_cast<void*>(next += 0x10);
    auto* thread = reinterpret_cast<void*>(next += 0x10);
    s.processes[process] = {};
    return ProcessHandles{.process = process, .thread = thread};
}

WaitResult wait_for_process(void* process, std::uint32_t) {
    auto& p = fake::state().processes[process];
    ++p.waits;
    return p.wait;
}

std::optional<std::uint32_t> process_exit_code(void* process) {
    return fake::state().processes[process].exit_code;
}

void terminate_process(void* process, std::uint32_t exit_code) {
    fake::state().journal.push_back("terminate");
    fake::state().processes[process].terminated_with = exit_code;
}

void close_handle(void* handle) {
    fake::state().closed_handles.push_back(handle);
}

bool start_sockets() {
    auto& s = fake::state();
    ++s.socket_starts;
    return !s.sockets_start_fails;
}

std::optional<Socket> open_tcp_socket() {
    auto& s = fake::state();
    if (s.socket_open_fails) {
        return std::nullopt;
    }
    s.requests.emplace_back();
    return static_cast<Socket>(++s.sockets_opened);
}

bool connect_loopback(Socket, std::uint16_t port) {
    fake::state().connected_port = port;
    return !fake::state().connect_fails;
}

bool set_receive_timeout(Socket, std::uint32_t milliseconds) {
    fake::state().receive_timeout = milliseconds;
    return !fake::state().timeout_fails;
}

int send_some(Socket, const char* data, int length) {
    auto& s = fake::state();
    int taken = length;
    if (!s.send_limits.empty()) {
        taken = std::min(length, s.send_limits.front());
        s.send_limits.erase(s.send_limits.begin());
    }
    s.journal.push_back("send");
    if (taken > 0) {
        s.sent.append(data, static_cast<std::size_t>(taken));
        s.requests.back().append(data, static_cast<std::size_t>(taken));
    }
    return taken;
}

int receive_some(Socket socket, char* buffer, int capacity) {
    auto& s = fake::state();
    if (s.receives.empty() && s.respond && s.answered_socket != socket) {
        s.answered_socket = socket;
        s.receives.push_back({s.respond(s.requests.back())});
    }
    if (s.receives.empty()) {
        return 0;
    }
    auto& next = s.receives.front();
    if (next.error != 0) {
        s.last_socket_error = next.error;
        s.receives.erase(s.receives.begin());
        return -1;
    }
    const auto n = std::min(next.bytes.size(), static_cast<std::size_t>(capacity));
    std::copy_n(next.bytes.data(), n, buffer);
    next.bytes.erase(0, n);
    if (next.bytes.empty()) {
        s.receives.erase(s.receives.begin());
    }
    return static_cast<int>(n);
}

int last_socket_error() {
    return fake::state().last_socket_error;
}

void close_socket(Socket) {
    ++fake::state().sockets_closed;
}

std::intptr_t default_window_proc(WindowHandle, std::uint32_t message, std::uintptr_t wparam,
                                  std::intptr_t lparam) {
    fake::state().defaulted.push_back({message, wparam, lparam});
    return 0x4242;
}

void post_quit_message(int exit_code) {
    fake::state().quit_posted = exit_code;
}

void post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                  std::intptr_t lparam) {
    fake::state().posted.push_back({window, {message, wparam, lparam}});
}

MenuHandle create_popup_menu() {
    auto& s = fake::state();
    if (s.create_menu_fails) {
        return nullptr;
    }
    ++s.menus_created;
    s.menu_items.clear();
    return reinterpret_cast<MenuHandle>(0x3e0);
}

void append_menu(MenuHandle, std::uint32_t flags, std::uintptr_t id, const wchar_t* text) {
    fake::state().menu_items.push_back({flags, id, text ? text : L""});
}

std::optional<Point> cursor_position() {
    return fake::state().cursor;
}

void set_foreground_window(WindowHandle window) {
    fake::state().foreground.push_back(window);
}

std::uint32_t track_popup_menu(MenuHandle, std::uint32_t flags, Point at, WindowHandle) {
    auto& s = fake::state();
    s.track_flags.push_back(flags);
    s.track_points.push_back(at);
    return s.menu_choice;
}

void destroy_menu(MenuHandle) {
    ++fake::state().menus_destroyed;
}

ModuleHandle executable_module() {
    return reinterpret_cast<ModuleHandle>(0x400000);
}

void register_window_class(const wchar_t* class_name, WindowProcedure procedure, ModuleHandle) {
    fake::state().registered_class = class_name;
    fake::state().registered_procedure = procedure;
}

WindowHandle create_message_window(const wchar_t*, const wchar_t*, ModuleHandle) {
    return fake::state().create_window_fails ? nullptr : reinterpret_cast<WindowHandle>(0x777);
}

void run_message_loop() {
    auto& s = fake::state();
    for (const auto& m : s.messages) {
        s.registered_procedure(reinterpret_cast<WindowHandle>(0x777), m.message, m.wparam,
                               m.lparam);
        if (s.quit_posted) {
            return;
        }
    }
}

IconHandle load_icon_file(const NativeString& path) {
    fake::state().icon_files_loaded.push_back(path);
    return fake::state().icon_from_file;
}

IconHandle load_application_icon() {
    return fake::state().application_icon;
}

void add_notify_icon(const NotifyIcon& icon) {
    auto& s = fake::state();
    s.journal.push_back("notify-add");
    s.notify_calls.push_back(
        {true, icon.window, icon.id, icon.callback_message, icon.icon, std::wstring(icon.tip)});
}

void delete_notify_icon(const NotifyIcon& icon) {
    auto& s = fake::state();
    s.journal.push_back("notify-delete");
    s.notify_calls.push_back(
        {false, icon.window, icon.id, icon.callback_message, icon.icon, std::wstring(icon.tip)});
}

void fatal_stop(const char* diagnostic) {
    throw fake::FatalStop{diagnostic};
}

void shell_open(const NativeString& url) {
    fake::state().opened_urls.push_back(url);
}

void message_box(const NativeString& text, const wchar_t* caption, std::uint32_t style) {
    fake::state().message_boxes.push_back({text, caption, style});
}

}  // namespace platform

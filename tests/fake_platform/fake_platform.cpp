#include "fake_platform.h"

#include <algorithm>
#include <cstdio>

namespace fake {
namespace {

// A number or handle, written in hexadecimal.
struct Hex {
    Hex(std::uintmax_t number) : value(number) {}
    Hex(const void* handle) : value(reinterpret_cast<std::uintptr_t>(handle)) {}
    std::uintmax_t value;
};

std::string word(const std::string& text) {
    return text;
}
std::string word(std::wstring_view wide) {
    std::string narrow;
    for (const wchar_t c : wide) {
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return narrow;
}
std::string word(std::uintmax_t number) {
    return std::to_string(number);
}
std::string word(Hex number) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "0x%jx", number.value);
    return digits;
}

// One journal line: the call's name and its arguments, separated by spaces.
template <typename... Words>
void log(const char* call, const Words&... words) {
    std::string line = call;
    ((line.append(" ").append(word(words))), ...);
    state().journal.push_back(line);
}

bool fails(const char* call) {
    return state().failing.contains(call);
}

void* const kWindow = reinterpret_cast<void*>(0x777);
platform::WindowProcedure registered_procedure = nullptr;

void log_icon(const char* call, const platform::NotifyIcon& icon) {
    log(call, std::string("window=").append(word(Hex(icon.window))),
        std::string("id=").append(word(std::uintmax_t{icon.id})),
        std::string("message=").append(word(Hex(icon.callback_message))),
        std::string("icon=").append(word(Hex(icon.icon))),
        std::string("tip=").append(word(icon.tip)));
}

}  // namespace

State& state() {
    static State current;
    return current;
}

void reset() {
    state() = State{};
}

std::vector<std::string> calls(std::initializer_list<std::string_view> prefixes) {
    std::vector<std::string> found;
    for (const auto& line : state().journal) {
        if (std::ranges::any_of(prefixes, [&](auto p) { return line.starts_with(p); })) {
            found.push_back(line);
        }
    }
    return found;
}

std::string seen(std::initializer_list<std::string_view> prefixes) {
    std::string joined;
    for (const auto& line : calls(prefixes)) {
        joined += (joined.empty() ? "" : " | ") + line;
    }
    return joined;
}

}  // namespace fake

namespace platform {

using fake::fails;
using fake::Hex;
using fake::log;
using fake::state;

std::optional<NativeString> environment_variable(const wchar_t* name) {
    const auto found = state().environment.find(name);
    return found == state().environment.end() ? std::nullopt : std::optional(found->second);
}

std::vector<NativeString> environment_entries() {
    return state().environment_entries;
}

std::optional<std::string> read_shared_file(const NativeString& path, std::size_t max_bytes) {
    log("read", path);
    const auto found = state().files.find(path);
    if (found == state().files.end() || found->second.size() > max_bytes) {
        return std::nullopt;
    }
    return found->second;
}

FileType file_type(const NativeString& path) {
    const auto found = state().file_types.find(path);
    if (found != state().file_types.end()) {
        return found->second;
    }
    return state().files.contains(path) ? FileType::Regular : FileType::Missing;
}

std::optional<NativeString> module_file_name() {
    return state().module_file_name;
}

Instant monotonic_now() {
    return state().now;
}

void sleep_for(std::chrono::milliseconds duration) {
    log("sleep", duration.count());
    state().now += duration;
    if (state().after_sleep) {
        state().after_sleep();
    }
}

MutexResult create_owned_mutex(const wchar_t*) {
    return state().mutex;
}

std::optional<ProcessHandles> create_process(const LaunchRequest& request) {
    log("launch", request.command_line);
    state().launched = request;
    // The n-th launch of a test gets the handles 0x1n00 (process) and 0x1n08 (thread).
    const auto process = 0x1000 + 0x100 * fake::calls({"launch"}).size();
    const ProcessHandles handles{reinterpret_cast<void*>(process),
                                 reinterpret_cast<void*>(process + 8)};
    return fails("launch") ? std::nullopt : std::optional(handles);
}

WaitResult wait_for_process(void* process, std::uint32_t milliseconds) {
    log("wait", Hex(process), milliseconds);
    return state().wait;
}

std::optional<std::uint32_t> process_exit_code(void*) {
    return state().exit_code;
}

void terminate_process(void* process, std::uint32_t exit_code) {
    log("terminate", Hex(process), exit_code);
}

void close_handle(void* handle) {
    log("close", Hex(handle));
}

bool start_sockets() {
    log("start_sockets");
    return !fails("start_sockets");
}

std::optional<Socket> open_tcp_socket() {
    log("socket");
    auto& s = state();
    if (fails("socket")) {
        return std::nullopt;
    }
    s.requests.emplace_back();
    if (s.receives.empty() && !s.answers.empty()) {
        s.receives.push_back({s.answers.front()});
        s.answers.erase(s.answers.begin());
    }
    return s.requests.size();
}

bool connect_loopback(Socket, std::uint16_t port) {
    log("connect", port);
    return !fails("connect");
}

bool set_receive_timeout(Socket, std::uint32_t milliseconds) {
    log("timeout", milliseconds);
    return !fails("timeout");
}

int send_some(Socket, const char* data, int length) {
    auto& limits = state().send_limits;
    int taken = length;
    if (!limits.empty()) {
        taken = std::min(length, limits.front());
        limits.erase(limits.begin());
    }
    const std::string sent(data, static_cast<std::size_t>(std::max(taken, 0)));
    log("send", sent);
    state().requests.back() += sent;
    return taken;
}

int receive_some(Socket, char* buffer, int capacity) {
    auto& s = state();
    if (s.receives.empty()) {
        return 0;
    }
    auto& next = s.receives.front();
    if (next.error != 0) {
        log("recv_error", next.error);
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
    const auto errors = fake::calls({"recv_error "});
    return errors.empty() ? 0 : std::stoi(errors.back().substr(11));
}

void close_socket(Socket) {
    log("close_socket");
}

std::intptr_t default_window_proc(WindowHandle, std::uint32_t message, std::uintptr_t,
                                  std::intptr_t) {
    log("default", Hex(message));
    return 0x4242;
}

void post_quit_message(int exit_code) {
    log("quit", exit_code);
}

void post_message(WindowHandle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
    log("post", Hex(window), Hex(message));
}

MenuHandle create_popup_menu() {
    log("menu");
    return fails("menu") ? nullptr : reinterpret_cast<MenuHandle>(0x3e0);
}

void append_menu(MenuHandle, std::uint32_t flags, std::uintptr_t id, const wchar_t* text) {
    log("append", Hex(flags), id, std::wstring_view(text ? text : L"-"));
}

std::optional<Point> cursor_position() {
    return state().cursor;
}

void set_foreground_window(WindowHandle window) {
    log("foreground", Hex(window));
}

std::uint32_t track_popup_menu(MenuHandle, std::uint32_t flags, Point at, WindowHandle owner) {
    log("track", Hex(flags), std::to_string(at.x) + "," + std::to_string(at.y), Hex(owner));
    return state().menu_choice;
}

void destroy_menu(MenuHandle menu) {
    log("destroy_menu", Hex(menu));
}

ModuleHandle executable_module() {
    return reinterpret_cast<ModuleHandle>(0x400000);
}

void register_window_class(const wchar_t*, WindowProcedure procedure, ModuleHandle) {
    fake::registered_procedure = procedure;
}

WindowHandle create_message_window(const wchar_t*, const wchar_t*, ModuleHandle) {
    return fails("window") ? nullptr : fake::kWindow;
}

void run_message_loop() {
    for (const auto& m : state().messages) {
        fake::registered_procedure(fake::kWindow, m.message, m.wparam, m.lparam);
        if (!fake::calls({"quit"}).empty()) {
            return;
        }
    }
}

IconHandle load_icon_file(const NativeString& path) {
    log("load_icon", path);
    return fails("load_icon") ? nullptr : reinterpret_cast<IconHandle>(0x1c0);
}

IconHandle load_application_icon() {
    return fails("application_icon") ? nullptr : reinterpret_cast<IconHandle>(0xa99);
}

void add_notify_icon(const NotifyIcon& icon) {
    fake::log_icon("notify-add", icon);
}

void delete_notify_icon(const NotifyIcon& icon) {
    fake::log_icon("notify-delete", icon);
}

void fatal_stop(const char* diagnostic) {
    throw fake::FatalStop{diagnostic};
}

void prepare_shell() {
    log("prepare_shell");
}

void shell_open(const NativeString& url) {
    log("open", url);
}

void message_box(const NativeString&, const wchar_t* caption, std::uint32_t style) {
    log("message_box", Hex(style), std::wstring_view(caption));
}

}  // namespace platform

#include "fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <stdexcept>

namespace fake {
namespace {

std::string hex(std::uintmax_t number) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "0x%jx", number);
    return digits;
}
std::string hex(const void* handle) {
    return hex(reinterpret_cast<std::uintptr_t>(handle));
}
std::string narrow(std::wstring_view wide) {
    std::string text;
    for (const wchar_t c : wide)
        text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return text;
}

// Journals the call ("name arguments...") and tells whether the test made it fail.
bool log(std::string line, std::optional<Fault> fault = std::nullopt) {
    state().journal.push_back(std::move(line));
    return fault && state().failing.contains(*fault);
}

void* const kWindow = reinterpret_cast<void*>(0x777);
platform::WindowProcedure registered_procedure = nullptr;

std::string icon_text(const platform::NotifyIcon& icon) {
    return " window=" + hex(icon.window) + " id=" + std::to_string(icon.id) +
           " message=" + hex(icon.callback_message) + " icon=" + hex(icon.icon) +
           " tip=" + narrow(icon.tip);
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
    std::ranges::copy_if(state().journal, std::back_inserter(found), [&](const std::string& line) {
        return std::ranges::any_of(prefixes, [&](auto p) { return line.starts_with(p); });
    });
    return found;
}

std::string seen(std::initializer_list<std::string_view> prefixes) {
    std::string joined;
    for (const auto& line : calls(prefixes))
        joined += (joined.empty() ? "" : " | ") + line;
    return joined;
}

}  // namespace fake

namespace platform {

using fake::hex;
using fake::log;
using fake::narrow;
using fake::state;
using std::to_string;

std::optional<NativeString> environment_variable(const wchar_t* name) {
    const auto found = state().environment.find(name);
    return found == state().environment.end() ? std::nullopt : std::optional(found->second);
}

// Size limits are the real reader's business: the Wine tests read real files.
std::optional<std::string> read_shared_file(const NativeString& path, std::size_t) {
    log("read " + narrow(path));
    const auto found = state().files.find(path);
    return found == state().files.end() ? std::nullopt : std::optional(found->second);
}

FileType file_type(const NativeString& path) {
    const auto found = state().file_types.find(path);
    return found == state().file_types.end() ? FileType::Missing : found->second;
}

std::optional<NativeString> module_file_name() {
    return state().module_file_name;
}

Instant monotonic_now() {
    return state().now;
}

void sleep_for(std::chrono::milliseconds duration) {
    log("sleep " + to_string(duration.count()));
    state().now += duration;
    if (state().after_sleep)
        state().after_sleep();
}

InstanceClaim claim_instance_mutex(const wchar_t*) {
    return state().instance;
}

// Numbered in the order they were started.
struct ChildProcess {
    std::size_t number;
};

void ReleaseChild::operator()(ChildProcess* child) const {
    log("release " + to_string(child->number));
    delete child;
}

StartedProcess launch_hidden(const HiddenLaunch& launch) {
    log("launch " + narrow(launch.program));
    state().launched.push_back(launch);
    return StartedProcess(new ChildProcess{state().launched.size()});
}

bool has_exited(ChildProcess&) {
    return state().exited;
}

void terminate_process(ChildProcess& child, std::uint32_t exit_code) {
    log("terminate " + to_string(child.number) + " " + to_string(exit_code));
}

// A real lock taken twice on one thread would never return.
void acquire(Lock& lock) {
    if (lock.state != nullptr)
        throw std::logic_error("a lock taken twice");
    lock.state = &lock;
}

void release(Lock& lock) {
    lock.state = nullptr;
}

bool start_sockets() {
    return true;
}

std::optional<Socket> open_tcp_socket() {
    auto& s = state();
    if (log("socket", fake::Fault::Socket))
        return std::nullopt;
    s.requests.emplace_back();
    if (s.receives.empty() && !s.answers.empty()) {
        s.receives.push_back({s.answers.front()});
        s.answers.erase(s.answers.begin());
    }
    return s.requests.size();
}

bool connect_loopback(Socket, std::uint16_t port) {
    return !log("connect " + to_string(port), fake::Fault::Connect);
}

bool set_receive_timeout(Socket, std::uint32_t milliseconds) {
    return !log("timeout " + to_string(milliseconds), fake::Fault::Timeout);
}

int send_some(Socket, const char* data, int length) {
    auto& limits = state().send_limits;
    const int taken = limits.empty() ? length : std::min(length, limits.front());
    if (!limits.empty())
        limits.erase(limits.begin());
    const std::string sent(data, static_cast<std::size_t>(std::max(taken, 0)));
    log("send " + sent);
    state().requests.back() += sent;
    return taken;
}

Received receive_some(Socket, char* buffer, int capacity) {
    auto& queue = state().receives;
    if (queue.empty())
        return {ReceiveStatus::Closed};
    auto& next = queue.front();
    if (next.fails) {
        queue.erase(queue.begin());
        return {ReceiveStatus::Failed};
    }
    const auto n = next.bytes.copy(buffer, static_cast<std::size_t>(capacity));
    next.bytes.erase(0, n);
    if (next.bytes.empty())
        queue.erase(queue.begin());
    return {ReceiveStatus::Bytes, static_cast<int>(n)};
}

void close_socket(Socket) {
    log("close_socket");
}

std::intptr_t default_window_proc(WindowHandle, std::uint32_t message, std::uintptr_t,
                                  std::intptr_t) {
    log("default " + hex(message));
    return 0x4242;
}

void post_quit_message(int exit_code) {
    log("quit " + to_string(exit_code));
}

// Marks a right-to-left menu or dialog.
std::string direction_text(TextDirection direction) {
    return direction == TextDirection::RightToLeft ? " right-to-left" : "";
}

// One line for the menu, then one for each item.
std::uint32_t show_context_menu(WindowHandle, const std::vector<MenuItem>& items,
                                TextDirection direction) {
    log("menu" + direction_text(direction));
    for (const auto& item : items)
        log(item.command == 0 ? "item -"
                              : "item " + to_string(item.command) + (item.checked ? " [x] " : " ") +
                                    narrow(item.text));
    return state().menu_choice;
}

WindowHandle create_message_window(const wchar_t*, const wchar_t*, WindowProcedure procedure) {
    fake::registered_procedure = procedure;
    return log("window", fake::Fault::Window) ? nullptr : fake::kWindow;
}

void run_message_loop() {
    for (const auto& [message, wparam, lparam] : state().messages) {
        fake::registered_procedure(fake::kWindow, message, wparam, lparam);
        if (!fake::calls({"quit"}).empty())
            return;
    }
}

IconHandle load_icon_file(const NativeString& path) {
    return log("load_icon " + narrow(path), fake::Fault::LoadIcon)
               ? nullptr
               : reinterpret_cast<IconHandle>(0x1c0);
}

IconHandle load_application_icon() {
    return log("application_icon", fake::Fault::ApplicationIcon)
               ? nullptr
               : reinterpret_cast<IconHandle>(0xa99);
}

void add_notify_icon(const NotifyIcon& icon) {
    log("notify-add" + fake::icon_text(icon));
}

void delete_notify_icon(const NotifyIcon& icon) {
    log("notify-delete" + fake::icon_text(icon));
}

void fatal_stop(const char*) {
    throw fake::FatalStop{};
}

void prepare_shell() {
    log("prepare_shell");
}

void shell_open(const NativeString& url) {
    log("open " + narrow(url));
}

std::vector<std::string> preferred_ui_languages() {
    return state().preferred_ui_languages;
}

// Names the id and the table, so that a test sees which text went where.
NativeString load_string(std::uint32_t id, std::uint16_t language) {
    wchar_t table[8];
    std::swprintf(table, std::size(table), L"/%04x", language);
    return L"string " + std::to_wstring(id) + table;
}

void show_error_dialog(const NativeString& text, const wchar_t* caption, TextDirection direction) {
    log("error_dialog " + narrow(caption) + direction_text(direction) + ": " + narrow(text));
}

}  // namespace platform

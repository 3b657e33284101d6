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

struct State {
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
    std::string sent;
    int last_socket_error = 0;

    // Shell.
    std::vector<platform::NativeString> opened_urls;
    std::vector<MessageBoxCall> message_boxes;
};

State& state();

// Clears the state, including the recorded calls.
void reset();

}  // namespace fake

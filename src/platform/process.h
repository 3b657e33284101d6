#pragma once

#include <cstdint>
#include <optional>

#include "platform/text.h"

namespace platform {

inline constexpr std::uint32_t kErrorAlreadyExists = 183;

struct MutexResult {
    bool has_handle = false;  // neither null nor INVALID_HANDLE_VALUE
    std::uint32_t last_error = 0;
};

// Creates (or opens) the named mutex asking for initial ownership. The handle
// stays open for the rest of the process.
MutexResult create_owned_mutex(const wchar_t* name);

struct ProcessHandles {
    void* process = nullptr;
    void* thread = nullptr;
};

struct LaunchRequest {
    NativeString program;
    NativeString command_line;
    NativeString working_directory;
    NativeString environment_block;  // "NAME=value\0" entries; the final 0 unit is c_str()'s
};

// Starts the program without a console window, with handle inheritance on and
// the tray's standard handles passed along when it has any.
std::optional<ProcessHandles> create_process(const LaunchRequest& request);

enum class WaitResult { Signalled, TimedOut, Failed };

WaitResult wait_for_process(void* process, std::uint32_t milliseconds);
std::optional<std::uint32_t> process_exit_code(void* process);
void terminate_process(void* process, std::uint32_t exit_code);
void close_handle(void* handle);

}  // namespace platform

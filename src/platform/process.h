#pragma once

#include <cstdint>
#include <optional>

#include "platform/text.h"

namespace platform {

// What claiming the named mutex that marks a running copy tells.
enum class InstanceClaim {
    FirstCopy,       // this call made it
    AlreadyRunning,  // another copy made it first
    Unknown,         // it could be neither made nor opened
};

// Creates the named mutex asking to own it, or opens the one another copy
// made; the handle stays open for the rest of the process.
InstanceClaim claim_instance_mutex(const wchar_t* name);

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

// Waits at most that long for the process to end.
WaitResult wait_for_process(void* process, std::uint32_t milliseconds);
// The exit code of a process that has ended; nothing while it runs or when it cannot be told.
std::optional<std::uint32_t> process_exit_code(void* process);
// Ends the process with that exit code; a failure is not reported.
void terminate_process(void* process, std::uint32_t exit_code);
// Closes a handle; null and invalid ones are left alone.
void close_handle(void* handle);

// The full path of the running executable.
std::optional<NativeString> module_file_name();

// Ends this process at once with a failure status, leaving the diagnostic
// (with the system's last error) where a person can find it.
[[noreturn]] void fatal_stop(const char* diagnostic);

}  // namespace platform

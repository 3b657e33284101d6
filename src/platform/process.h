#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/environment.h"
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

// A program to start with no window or console of its own and no arguments,
// in the folder given, with variables set on top of this process's own.
struct HiddenLaunch {
    NativeString program;  // its full path
    NativeString folder;
    std::vector<EnvironmentVariable> extra_environment;
};

// A process this program started, as the platform keeps it.
struct ChildProcess;
// Lets go of the process, which runs on.
struct ReleaseChild {
    void operator()(ChildProcess* child) const;
};
using StartedProcess = std::unique_ptr<ChildProcess, ReleaseChild>;

// Starts the program hidden, its output going where this process's goes;
// null when it could not be started.
StartedProcess launch_hidden(const HiddenLaunch& launch);
// Whether the process has ended, asked without waiting; false when that
// cannot be told.
bool has_exited(ChildProcess& child);
// Ends the process with that exit code without waiting for it; a failure is
// not reported.
void terminate_process(ChildProcess& child, std::uint32_t exit_code);

// The full path of the running executable.
std::optional<NativeString> module_file_name();

// Ends this process at once with a failure status, leaving the diagnostic
// (with the system's last error) where a person can find it.
[[noreturn]] void fatal_stop(const char* diagnostic);

}  // namespace platform

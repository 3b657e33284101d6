#include <windows.h>

#include "platform/process.h"

namespace platform {
namespace {

bool is_handle(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

HANDLE inheritable_copy(HANDLE source) {
    if (!is_handle(source)) {
        return nullptr;
    }
    HANDLE copy = nullptr;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, source, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

}  // namespace

MutexResult create_owned_mutex(const wchar_t* name) {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
    const DWORD error = GetLastError();
    return {.has_handle = is_handle(mutex), .last_error = error};
}

std::optional<ProcessHandles> create_process(const LaunchRequest& request) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const HANDLE ours[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                           GetStdHandle(STD_ERROR_HANDLE)};
    const bool has_std = is_handle(ours[0]) || is_handle(ours[1]) || is_handle(ours[2]);
    if (has_std) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inheritable_copy(ours[0]);
        startup.hStdOutput = inheritable_copy(ours[1]);
        startup.hStdError = inheritable_copy(ours[2]);
    }
    NativeString command_line = request.command_line;      // CreateProcessW may write to it
    NativeString environment = request.environment_block;  // its c_str() 0 ends the block
    PROCESS_INFORMATION info{};
    const BOOL created =
        CreateProcessW(request.program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                       request.working_directory.c_str(), &startup, &info);
    for (const HANDLE copy : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        if (copy != nullptr) {
            CloseHandle(copy);
        }
    }
    if (!created) {
        return std::nullopt;
    }
    return ProcessHandles{.process = info.hProcess, .thread = info.hThread};
}

WaitResult wait_for_process(void* process, std::uint32_t milliseconds) {
    switch (WaitForSingleObject(process, milliseconds)) {
        case WAIT_OBJECT_0:
            return WaitResult::Signalled;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
    }
}

std::optional<std::uint32_t> process_exit_code(void* process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) {
        return std::nullopt;
    }
    return code;
}

void terminate_process(void* process, std::uint32_t exit_code) {
    TerminateProcess(process, exit_code);
}

void close_handle(void* handle) {
    if (is_handle(handle)) {
        CloseHandle(handle);
    }
}

}  // namespace platform

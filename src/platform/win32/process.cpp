#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

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

// This process's environment as "NAME=value" entries, in the system's order.
std::vector<NativeString> environment_entries() {
    std::vector<NativeString> entries;
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) {
        return entries;
    }
    for (const wchar_t* entry = block; *entry != L'\0';) {
        NativeString text(entry);
        entry += text.size() + 1;
        entries.push_back(std::move(text));
    }
    FreeEnvironmentStringsW(block);
    return entries;
}

}  // namespace

InstanceClaim claim_instance_mutex(const wchar_t* name) {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
    if (!is_handle(mutex)) {
        return InstanceClaim::Unknown;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? InstanceClaim::AlreadyRunning
                                                  : InstanceClaim::FirstCopy;
}

// Both handles CreateProcess gave, closed when the process is let go of.
struct ChildProcess {
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
};

void ReleaseChild::operator()(ChildProcess* child) const {
    CloseHandle(child->process);
    CloseHandle(child->thread);
    delete child;
}

StartedProcess launch_hidden(const HiddenLaunch& launch) {
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
    NativeString command_line = L"\"" + launch.program + L"\"";  // CreateProcessW may write to it
    NativeString environment = environment_block(environment_entries(), launch.extra_environment);
    PROCESS_INFORMATION info{};
    const BOOL created =
        CreateProcessW(launch.program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                       launch.folder.c_str(), &startup, &info);
    for (const HANDLE copy : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        if (copy != nullptr) {
            CloseHandle(copy);
        }
    }
    if (!created) {
        return nullptr;
    }
    StartedProcess child(new (std::nothrow) ChildProcess{info.hProcess, info.hThread});
    if (!child) {
        CloseHandle(info.hProcess);  // the process runs on, as if let go of
        CloseHandle(info.hThread);
    }
    return child;
}

bool has_exited(ChildProcess& child) {
    DWORD code = 0;
    return WaitForSingleObject(child.process, 0) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(child.process, &code);
}

void terminate_process(ChildProcess& child, std::uint32_t exit_code) {
    TerminateProcess(child.process, exit_code);
}

std::optional<NativeString> module_file_name() {
    // Paths may exceed MAX_PATH; grow until the name fits with room to spare.
    NativeString buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 0x8000 * 2) {
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void fatal_stop(const char* diagnostic) {
    const DWORD error = GetLastError();
    // A GUI program has no console: the debugger output always gets it, and
    // standard error does too when whoever started us attached one.
    char line[256];
    std::snprintf(line, sizeof line, "Pellox Desktop Tray: %s (error %lu)\n", diagnostic,
                  static_cast<unsigned long>(error));
    OutputDebugStringA(line);
    const HANDLE standard_error = GetStdHandle(STD_ERROR_HANDLE);
    if (is_handle(standard_error)) {
        DWORD written = 0;
        WriteFile(standard_error, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    }
    ExitProcess(1);
}

}  // namespace platform

#include <windows.h>

#include "platform/environment.h"

namespace platform {

std::optional<NativeString> environment_variable(const wchar_t* name) {
    NativeString value(64, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD needed =
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (needed == 0) {
            // An empty value also returns 0, but without an error.
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return NativeString();
        }
        if (needed < value.size()) {
            value.resize(needed);
            return value;
        }
        value.resize(needed);
    }
}

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

}  // namespace platform

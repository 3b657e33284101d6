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

}  // namespace platform

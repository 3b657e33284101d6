#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/shell.h"

namespace platform {

void shell_open(const NativeString& url) {
    // Some URL handlers are COM objects; the shell wants an apartment on this thread.
    static const HRESULT com =
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    (void)com;
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void message_box(const NativeString& text, const wchar_t* caption, std::uint32_t style) {
    MessageBoxW(nullptr, text.c_str(), caption, style);
}

}  // namespace platform

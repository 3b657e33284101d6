#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/shell.h"

namespace platform {

void prepare_shell() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

void shell_open(const NativeString& url) {
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void message_box(const NativeString& text, const wchar_t* caption, std::uint32_t style,
                 TextDirection direction) {
    if (direction == TextDirection::RightToLeft) {
        style |= MB_RTLREADING | MB_RIGHT;
    }
    MessageBoxW(nullptr, text.c_str(), caption, style);
}

}  // namespace platform

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

void show_error_dialog(const NativeString& text, const wchar_t* caption, TextDirection direction) {
    const UINT reading = direction == TextDirection::RightToLeft ? MB_RTLREADING | MB_RIGHT : 0;
    MessageBoxW(nullptr, text.c_str(), caption, MB_ICONERROR | MB_SETFOREGROUND | reading);
}

}  // namespace platform

// Baseline for the start-up figure: the least a program does to wait for the
// server's port and show the dashboard. COM first, then runtime.json read
// every 250 ms until it names a port, then the shell's "open" on the URL.
// Never shipped.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const wchar_t* appdata = _wgetenv(L"APPDATA");
    const std::wstring path =
        std::wstring(appdata ? appdata : L"") + L"\\PelloxDesktop\\runtime.json";
    for (;;) {
        char text[256] = {};
        DWORD got = 0;
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ReadFile(file, text, sizeof text - 1, &got, nullptr);
            CloseHandle(file);
        }
        if (const char* port = std::strstr(text, "\"port\":")) {
            const std::wstring url =
                L"http://127.0.0.1:" + std::to_wstring(std::atoi(port + 7)) + L"/";
            ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            return 0;
        }
        Sleep(250);
    }
}

// Baseline for the dashboard figure: how long Wine's shell takes to hand a URL
// to the browser. Prints the wall-clock time (Unix ns) just before it hands
// the URL over; the recording browser notes when it got it. Never shipped.
// Usage: bare_shell URL
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 2;
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // As the tray does: an apartment first, for shell handlers that are COM objects.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ShellExecuteW(nullptr, L"open", argv[1], nullptr, nullptr, SW_SHOWNORMAL);
    std::printf("%llu\n", (ticks - 116444736000000000ULL) * 100ULL);
    return 0;
}

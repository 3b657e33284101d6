// Baseline for the tray's footprint and menu figures: the least a Win32
// program needs for one notification icon with the tray's menu. Never shipped.
// Given a port, it also makes the tray's GET /api/features (as a bare client)
// before each menu, which tells the exchange's share of the tray's figure.
#include <winsock2.h>

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "bare_client.h"
#include "tray/tray_menu.h"
#include "tray/tray_window_proc.h"

namespace {

// The tray's own callback message and command ids: the bench drives both alike.
using tray::TrayCommand;
constexpr UINT_PTR id(TrayCommand command) {
    return static_cast<UINT_PTR>(command);
}
constexpr UINT kIconId = 1;
unsigned short server_port = 0;

void show_menu(HWND window) {
    if (server_port != 0) {
        bare_get_features(server_port);
    }
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, id(TrayCommand::OpenDashboard), L"Open dashboard");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | MF_CHECKED, id(TrayCommand::ToggleMedia),
                L"Share movies, shows && music");
    AppendMenuW(menu, MF_STRING, id(TrayCommand::ToggleStream), L"Stream this PC");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, id(TrayCommand::Quit), L"Quit Pellox Desktop");
    POINT at{};
    GetCursorPos(&at);
    SetForegroundWindow(window);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr));
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen == id(TrayCommand::Quit)) {
        PostQuitMessage(0);
    }
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == tray::WM_TRAYICON && LOWORD(lparam) == WM_RBUTTONUP) {
        show_menu(window);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    server_port = static_cast<unsigned short>(std::wcstoul(arguments, nullptr, 10));
    WSADATA sockets{};
    WSAStartup(MAKEWORD(2, 2), &sockets);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"BareTray";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"BareTray", L"Bare", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr);

    // The same icon file the tray shows, so both hold the same image.
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = path + length;
    while (slash > path && slash[-1] != L'\\')
        --slash;
    lstrcpynW(slash, L"icon.ico", static_cast<int>(MAX_PATH - (slash - path)));
    HANDLE icon = LoadImageW(nullptr, path, IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);

    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = tray::WM_TRAYICON;
    data.hIcon = icon != nullptr ? static_cast<HICON>(icon) : LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpynW(data.szTip, L"Bare tray", 64);
    Shell_NotifyIconW(NIM_ADD, &data);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    Shell_NotifyIconW(NIM_DELETE, &data);
    return 0;
}

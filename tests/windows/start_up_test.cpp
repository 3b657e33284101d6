#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "harness.h"

namespace {

using namespace harness;

const std::wstring kDialogText =
    L"Pellox Desktop could not start its library server.\n\nTry running the installer again. "
    L"If it keeps happening, there will be a pellox-desktop-error.log in the install folder "
    L"saying why.";

std::optional<nlohmann::json> first_event(const Install& install, const std::string& name) {
    for (const auto& event : server_log(install)) {
        if (event.value("event", "") == name)
            return event;
    }
    return std::nullopt;
}

bool url_opened(const std::string& url) {
    const auto urls = opened_urls();
    return std::find(urls.begin(), urls.end(), url) != urls.end();
}

std::string dashboard_of(const Install& install) {
    const auto listening = first_event(install, "listening");
    return listening ? "http://127.0.0.1:" + std::to_string(listening->at("port").get<int>()) + "/"
                     : "";
}

// Keeps the tray's single-instance mutex, as a running first copy would.
class FirstCopy {
  public:
    FirstCopy() : mutex_(CreateMutexW(nullptr, TRUE, L"Global\\PelloxDesktopTray")) {}
    ~FirstCopy() { CloseHandle(mutex_); }
    bool held() const { return mutex_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS; }

  private:
    HANDLE mutex_;
};

class StartUp : public ::testing::Test {
  protected:
    void SetUp() override { clear_browser_log(); }
};

TEST_F(StartUp, ASecondCopyOnlyOpensTheRunningServersDashboard) {
    const FirstCopy first;
    ASSERT_TRUE(first.held());

    const auto install = make_install("second-copy", nlohmann::json::object());
    write_text(install.runtime_json(), R"({"port": 8765})");
    const auto tray = start_tray(install, install.install);
    EXPECT_EQ(tray.wait_exit(10s), 0u);
    EXPECT_TRUE(wait_until([] { return url_opened("http://127.0.0.1:8765/"); }, 5s));
    EXPECT_FALSE(fs::exists(install.server_log())) << "a second copy launched a server";

    const auto quiet = make_install("second-copy-no-port", nlohmann::json::object());
    const auto second = start_tray(quiet, quiet.install);
    EXPECT_EQ(second.wait_exit(10s), 0u);
    Sleep(1000);  // the shell hand-off is asynchronous: give a stray URL time to show up
    EXPECT_EQ(opened_urls(), std::vector<std::string>{"http://127.0.0.1:8765/"});
    EXPECT_FALSE(fs::exists(quiet.server_log()));
}

TEST_F(StartUp, TheServerStartsInTheTrayFolderWithTheBrowserLeftToTheTray) {
    // An inherited value, in other letter case, must not reach the server.
    SetEnvironmentVariableW(L"pellox_no_browser", L"0");
    const auto install = make_install("launch", nlohmann::json::object());
    const auto tray = start_tray(install, install.elsewhere);
    SetEnvironmentVariableW(L"pellox_no_browser", nullptr);

    ASSERT_TRUE(wait_until([&] { return first_event(install, "listening").has_value(); }, 15s));
    const auto started = first_event(install, "start");
    ASSERT_TRUE(started);
    EXPECT_EQ(started->at("no_browser"), "1");
    EXPECT_TRUE(fs::equivalent(fs::u8path(started->at("cwd").get<std::string>()), install.install))
        << started->at("cwd");
    const auto url = dashboard_of(install);
    EXPECT_TRUE(wait_until([&] { return url_opened(url); }, 10s)) << url;

    EXPECT_EQ(quit_tray(tray), 0u);
    stop_servers(install);
}

// The message box of the given process, if it shows one.
HWND find_dialog(DWORD pid) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{pid, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t cls[32] = {};
            GetClassNameW(window, cls, 32);
            if (owner == s->pid && std::wstring(cls) == L"#32770" && IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::wstring> child_texts(HWND dialog) {
    std::vector<std::wstring> texts;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM param) -> BOOL {
            wchar_t text[1024] = {};
            GetWindowTextW(child, text, 1024);
            reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(text);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// Saves what the window shows on screen as a 24-bit BMP, for a person to look at.
void save_screenshot(HWND window, const fs::path& path) {
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD row = ((width * 3 + 3) / 4) * 4;
    std::vector<char> pixels(static_cast<size_t>(row) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));

    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST_F(StartUp, WithoutServerOrPortTheFailureDialogFollowsAfterTwentySeconds) {
    const auto install = make_install("failure-dialog", std::nullopt);
    const auto started = std::chrono::steady_clock::now();
    const auto tray = start_tray(install, install.install);

    HWND dialog = nullptr;
    ASSERT_TRUE(wait_until([&] { return (dialog = find_dialog(tray.pid())) != nullptr; }, 40s));
    const auto shown = std::chrono::steady_clock::now() - started;
    EXPECT_GE(shown, 19s);
    EXPECT_LE(shown, 25s);

    wchar_t caption[64] = {};
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Pellox Desktop");
    const auto texts = child_texts(dialog);
    EXPECT_NE(std::find(texts.begin(), texts.end(), kDialogText), texts.end());
    Sleep(300);  // let it finish painting
    save_screenshot(dialog, install.root / "failure-dialog.bmp");

    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(tray.wait_exit(10s), 0u);
    EXPECT_TRUE(opened_urls().empty());
}

}  // namespace

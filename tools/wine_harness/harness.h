#pragma once

// Drives the real programs under Wine, for the tests and the bench alike:
// per-run install folders, the tray and other programs started, what the
// stand-in server and the recording browser saw, and what a process holds and
// uses (programs.cpp); windows and notification icons found the Windows way
// (screen.cpp, with what the screen shows: screen.h). Failures show in the
// return values. What a user does is in input.h.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace harness {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The process's visible window of the class among the parent's children, top-
// level ones for nullptr ("#32768" is a menu, "#32770" a dialog). Then the
// same once there is one within the time, polled every poll period, or nullptr.
HWND find_window(HWND parent, const wchar_t* class_name, DWORD pid);
HWND wait_for_window(HWND parent, const wchar_t* class_name, DWORD pid,
                     std::chrono::milliseconds timeout, std::chrono::milliseconds poll = 10ms);
// The windows of the class: top-level ones for nullptr, else the parent's
// descendants.
std::vector<HWND> windows_of_class(HWND parent, const wchar_t* class_name);
// A window's text, also another process's: the system copies it across. A
// tooltip control answers with the tip it shows.
std::wstring text_of(HWND window);

// A visible icon in the notification area and where it and the area are on the screen.
struct NotificationIcon {
    HWND window;
    HWND area;
    RECT at;
    RECT area_at;
};
std::vector<NotificationIcon> notification_icons();
bool is_shown(const NotificationIcon& icon);
// An icon that was not among those before, once one shows within the time.
std::optional<NotificationIcon> new_icon(const std::vector<NotificationIcon>& before,
                                         std::chrono::milliseconds timeout);

fs::path bin_dir();  // where the built programs are

// A fresh installation: install/ holds the tray, icon.ico when asked for and,
// given settings, the stand-in server as Pellox-Desktop.exe; appdata/ beside
// it is the tray's APPDATA.
struct Install {
    fs::path install;
    fs::path appdata;

    fs::path runtime_json() const { return appdata / "PelloxDesktop" / "runtime.json"; }
    fs::path server_log() const { return install / "stand_in.log"; }
};
Install lay_out_install(const fs::path& root, const std::optional<nlohmann::json>& server_settings,
                        bool with_icon = false);
// The same under the build tree's test-runs/NAME.
Install make_install(const std::string& name, const std::optional<nlohmann::json>& server_settings,
                     bool with_icon = false);

// A Linux path as Wine's Z: drive shows it; any other path as it is.
fs::path windows_path(const std::wstring& path);

void write_text(const fs::path& path, const std::string& text);

// A started process; when the last copy goes it is terminated, if it still
// runs, with every process it started.
struct Process {
    std::shared_ptr<void> handle;
    DWORD pid = 0;
    HANDLE job = nullptr;  // closed with the last copy of handle
    // The exit code once the process has ended within the time, else nothing.
    std::optional<DWORD> wait_exit(std::chrono::milliseconds timeout) const;
    // Whether all it started (a browser, say) has ended too within the time.
    bool wait_all_ended(std::chrono::milliseconds timeout) const;
};

// Starts the program in a job of its own, or ends this program saying that
// the harness could not. OUTPUT, when given, is its inheritable standard output.
Process start_program(const fs::path& program, const fs::path& directory,
                      const std::wstring& arguments = L"", HANDLE output = nullptr);

// The stand-in server alone in an install of its own, answering as the
// settings say, and the port it listens on: 0 when it does not within 10 s.
struct StandIn {
    Process process;
    std::uint16_t port = 0;
};
StandIn start_stand_in(const std::string& name, const nlohmann::json& settings);

// The install's server process once it has started within the time, to wait
// for it and read how it ended; null when it has not.
std::shared_ptr<void> server_process(const Install& install, std::chrono::milliseconds timeout);
// The stand-in server's events whose log line holds the text, such as "\"method\":\"GET\"".
std::vector<nlohmann::json> server_log(const Install& install, const std::string& text);
// The port the install's server listens on, once it does within the time.
std::optional<std::uint16_t> listening_port(const Install& install,
                                            std::chrono::milliseconds timeout = 0ms);

void clear_browser_log();
std::vector<std::string> opened_urls();

// The tray, with the icons the notification area showed before it started:
// the one it adds is the one that was not there.
struct Tray : Process {
    std::vector<NotificationIcon> icons_before;
};

// Starts the installed tray from the folder above its own. APPDATA is set to
// the install's in this process too, where it stays: what this process then
// reads is what the tray reads.
Tray start_tray(const Install& install, HANDLE output = nullptr);
// The tray's icon once it shows within the time.
std::optional<NotificationIcon> tray_icon(const Tray& tray, std::chrono::milliseconds timeout);
// For a failure message: whether the tray still runs, or how it ended.
std::string tray_state(const Process& tray);

// The process's open handles, counted by duplicating every handle value a
// small program can have: Wine's GetProcessHandleCount answers 0.
DWORD handle_count(HANDLE process);

// The Linux processes Wine runs the program in, or every program under the
// folder, found by their command lines through Wine's Z: drive.
std::vector<int> unix_pids(const fs::path& program_or_folder);

// The user + system CPU time Linux counts for a process, in the kernel's 10 ms
// clock ticks, or nothing when it cannot be read: Wine's GetProcessTimes of
// another process gives the caller's own figures.
std::optional<long long> cpu_ticks_of(int unix_pid);

// Polls the condition every poll period (0: as often as it can) until it
// holds or the time is up.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                std::chrono::milliseconds poll = 10ms);

}  // namespace harness

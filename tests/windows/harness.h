#pragma once

// Helpers for driving the real programs under Wine: per-test install folders,
// starting the tray with its own APPDATA, and reading what the stand-in server
// and the recording browser saw.

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harness {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path bin_dir();  // where the built programs are

// A fresh tray installation for one test: install/ holds the tray exe and,
// when given settings, the stand-in server as Pellox-Desktop.exe; appdata/ is
// the APPDATA the tray gets; elsewhere/ is a current directory apart from both.
struct Install {
    fs::path root;
    fs::path install;
    fs::path appdata;
    fs::path elsewhere;

    fs::path runtime_json() const { return appdata / "PelloxDesktop" / "runtime.json"; }
    fs::path server_log() const { return install / "stand_in.log"; }
};

Install make_install(const std::string& name, const std::optional<nlohmann::json>& server_settings);

void write_text(const fs::path& path, const std::string& text);

// A started process; terminated (if still running) and closed on destruction.
class Process {
  public:
    explicit Process(PROCESS_INFORMATION info);
    Process(Process&& other) noexcept;
    Process& operator=(Process&&) = delete;
    ~Process();

    DWORD pid() const { return pid_; }
    HANDLE handle() const { return process_; }
    // The exit code once the process has ended within the time, else nothing.
    std::optional<DWORD> wait_exit(std::chrono::milliseconds timeout) const;

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Starts the installed tray with APPDATA pointing at install.appdata.
Process start_tray(const Install& install, const fs::path& current_directory);

// Asks a running tray to quit through its menu command, as the user would.
// Returns the exit code, or nothing when it did not end in time.
std::optional<DWORD> quit_tray(const Process& tray, std::chrono::milliseconds timeout = 15s);

// Ends every stand-in server the install's log knows about.
void stop_servers(const Install& install);

std::vector<nlohmann::json> server_log(const Install& install);

void clear_browser_log();
std::vector<std::string> opened_urls();

// The process's open handles. Wine's GetProcessHandleCount answers 0; there
// they are counted by duplicating every handle value a small program can have.
DWORD handle_count(HANDLE process);

// The environment variable as a number, or the fallback when it is not set.
int environment_number(const char* name, int fallback);

// A socket listening on 127.0.0.1 at a port the system chose.
struct LoopbackListener {
    SOCKET socket = INVALID_SOCKET;
    std::uint16_t port = 0;
};
LoopbackListener listen_on_loopback(int backlog);

// For servers in tests: the request's head and its Content-Length body (what
// came before the client stopped sending, if it stops early), and a send of
// every byte (until a send fails).
std::string read_http_request(SOCKET client);
void send_text(SOCKET client, std::string_view text);

// Polls the condition every 50 ms until it holds or the time is up.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace harness

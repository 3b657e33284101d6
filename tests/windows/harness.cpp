#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace harness {
namespace {

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

fs::path browser_log() {
    return bin_dir().parent_path() / "browser.log";
}

// The environment of this process with APPDATA replaced.
std::wstring environment_with_appdata(const fs::path& appdata) {
    std::wstring block;
    wchar_t* ours = GetEnvironmentStringsW();
    for (const wchar_t* entry = ours; *entry != L'\0'; entry += wcslen(entry) + 1) {
        if (_wcsnicmp(entry, L"APPDATA=", 8) != 0) {
            block.append(entry).push_back(L'\0');
        }
    }
    FreeEnvironmentStringsW(ours);
    block.append(L"APPDATA=" + appdata.wstring()).push_back(L'\0');
    return block;
}

}  // namespace

fs::path bin_dir() {
    wchar_t path[4096];
    GetModuleFileNameW(nullptr, path, 4096);
    return fs::path(path).parent_path();
}

Install make_install(const std::string& name,
                     const std::optional<nlohmann::json>& server_settings) {
    Install install;
    install.root = bin_dir().parent_path() / "test-runs" / name;
    std::error_code ignored;
    fs::remove_all(install.root, ignored);
    install.install = install.root / "install";
    install.appdata = install.root / "appdata";
    install.elsewhere = install.root / "elsewhere";
    for (const auto& dir : {install.install, install.appdata, install.elsewhere}) {
        fs::create_directories(dir);
    }
    fs::copy_file(bin_dir() / "Pellox-Desktop-Tray.exe",
                  install.install / "Pellox-Desktop-Tray.exe");
    if (server_settings) {
        fs::copy_file(bin_dir() / "stand_in_server.exe", install.install / "Pellox-Desktop.exe");
        write_text(install.install / "stand_in.json", server_settings->dump());
    }
    return install;
}

void write_text(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

Process::Process(PROCESS_INFORMATION info) : process_(info.hProcess), pid_(info.dwProcessId) {
    CloseHandle(info.hThread);
}

Process::Process(Process&& other) noexcept : process_(other.process_), pid_(other.pid_) {
    other.process_ = nullptr;
}

Process::~Process() {
    if (process_ != nullptr) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
}

std::optional<DWORD> Process::wait_exit(std::chrono::milliseconds timeout) const {
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

Process start_tray(const Install& install, const fs::path& current_directory) {
    const auto program = (install.install / "Pellox-Desktop-Tray.exe").wstring();
    std::wstring command_line = L"\"" + program + L"\"";
    std::wstring environment = environment_with_appdata(install.appdata);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        current_directory.wstring().c_str(), &startup, &info)) {
        ADD_FAILURE() << "could not start the tray, error " << GetLastError();
    }
    return Process(info);
}

std::optional<DWORD> quit_tray(const Process& tray, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto code = tray.wait_exit(0ms)) {
            return code;
        }
        for (HWND window = nullptr;
             (window = FindWindowExW(HWND_MESSAGE, window, L"PelloxTray", nullptr)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == tray.pid()) {
                PostMessageW(window, WM_COMMAND, 4, 0);
                const auto left = deadline - std::chrono::steady_clock::now();
                return tray.wait_exit(std::chrono::duration_cast<std::chrono::milliseconds>(left));
            }
        }
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

std::vector<nlohmann::json> server_log(const Install& install) {
    std::vector<nlohmann::json> events;
    for (const auto& line : lines_of(read_text(install.server_log()))) {
        events.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return events;
}

void stop_servers(const Install& install) {
    for (const auto& event : server_log(install)) {
        if (event.value("event", "") != "start")
            continue;
        const HANDLE server =
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, event["pid"].get<DWORD>());
        if (server != nullptr) {
            TerminateProcess(server, 98);
            WaitForSingleObject(server, 5000);
            CloseHandle(server);
        }
    }
}

void clear_browser_log() {
    std::error_code ignored;
    fs::remove(browser_log(), ignored);
}

std::vector<std::string> opened_urls() {
    return lines_of(read_text(browser_log()));
}

DWORD handle_count(HANDLE process) {
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count > 0)
        return count;
    for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++count;
        }
    }
    return count;
}

int environment_number(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}

LoopbackListener listen_on_loopback(int backlog) {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    LoopbackListener listener{.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener.socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener.socket, backlog);
    int length = sizeof address;
    getsockname(listener.socket, reinterpret_cast<sockaddr*>(&address), &length);
    listener.port = ntohs(address.sin_port);
    return listener;
}

std::string read_http_request(SOCKET client) {
    std::string got;
    char buffer[4096];
    for (;;) {
        const auto header_end = got.find("\r\n\r\n");
        if (header_end != std::string::npos) {
            const auto length_at = got.find("Content-Length: ");
            const std::size_t length =
                length_at == std::string::npos ? 0 : std::stoul(got.substr(length_at + 16));
            if (got.size() >= header_end + 4 + length) {
                return got;
            }
        }
        const int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return got;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

void send_text(SOCKET client, std::string_view text) {
    while (!text.empty()) {
        const int n = send(client, text.data(), static_cast<int>(text.size()), 0);
        if (n <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
}

}  // namespace harness

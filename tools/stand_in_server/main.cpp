// Test-only stand-in for the desktop library server: it behaves as the tray
// expects the real one to, as steered by stand_in.json, and logs what it saw.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "stand_in.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct Features {
    bool media = false;
    bool stream = false;
    bool running = false;
};

struct Settings {
    int publish_delay_ms = 0;
    bool publish = true;
    bool ignore_quit = false;
    std::optional<int> exit_after_ms;
    Features features;
    int quit_delay_ms = 0;  // how long the answer to a quit request takes
    // "normal"; "silent" never answers, "drip" sends a body of four bytes two
    // seconds apart, "huge" answers 64 MiB: for the client's time-outs and limits.
    std::string reply = "normal";
};

struct Reply {
    const char* status;
    const char* content_type;
    std::string body;
    bool quit = false;
};

std::mutex log_mutex;
fs::path log_path;
Features features;

std::string to_utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

// Tests feed the server odd bytes on purpose; logging them must never throw.
std::string to_text(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Unset and set-but-empty differ for the tray's environment, so keep them apart.
std::optional<std::wstring> environment(const wchar_t* name) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::wstring>(L"");
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

Json optional_utf8(const std::optional<std::wstring>& text) {
    return text ? Json(to_utf8(*text)) : Json(nullptr);
}

// Opened and closed per line so another process can read the log at any moment.
void log_event(const Json& line) {
    const auto text = to_text(line) + "\n";
    const std::lock_guard lock(log_mutex);
    const HANDLE file = CreateFileW(log_path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "stand_in_server: cannot open log: %s", text.c_str());
        return;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

[[noreturn]] void exit_now(const char* reason) {
    // The quit request and exit_after_ms may race; only one of them gets to log.
    static std::atomic_flag exiting;
    if (exiting.test_and_set()) {
        Sleep(INFINITE);
    }
    log_event({{"event", "exit"}, {"reason", reason}});
    ExitProcess(0);
}

fs::path exe_folder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
}

int milliseconds(const Json& settings, const char* key, int fallback) {
    const int value = settings.value(key, fallback);
    if (value < 0) {
        throw std::runtime_error(std::string(key) + " must not be negative");
    }
    return value;
}

// A broken stand_in.json is a broken test, so it throws rather than guessing.
Settings load_settings(const fs::path& folder) {
    Settings settings;
    const auto file = folder / L"stand_in.json";
    if (!fs::exists(file)) {
        return settings;
    }
    std::ifstream in(file, std::ios::binary);
    const auto json = Json::parse(in);
    if (!json.is_object()) {
        throw std::runtime_error("stand_in.json must hold a JSON object");
    }
    settings.publish_delay_ms = milliseconds(json, "publish_delay_ms", 0);
    settings.publish = json.value("publish", true);
    settings.ignore_quit = json.value("ignore_quit", false);
    if (json.contains("exit_after_ms")) {
        settings.exit_after_ms = milliseconds(json, "exit_after_ms", 0);
    }
    const auto initial = json.value("features", Json::object());
    settings.features = {initial.value("media", false), initial.value("stream", false),
                         initial.value("running", false)};
    settings.quit_delay_ms = milliseconds(json, "quit_delay_ms", 0);
    settings.reply = json.value("reply", "normal");
    return settings;
}

void publish_runtime(int port) {
    const auto appdata = environment(L"APPDATA").value_or(L"");
    if (appdata.empty()) {
        log_event({{"event", "publish_failed"}, {"error", "APPDATA is not set"}});
        return;
    }
    const auto folder = fs::path(appdata) / L"PelloxDesktop";
    std::error_code ignored;
    fs::create_directory(folder, ignored);
    const auto target = folder / L"runtime.json";
    auto temporary = target;
    temporary += L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const auto text = to_text({{"port", port}, {"pid", GetCurrentProcessId()}});
    // The rename is what keeps readers from ever seeing half a file.
    const bool written = static_cast<bool>(std::ofstream(temporary, std::ios::binary) << text);
    if (!written || !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        fs::remove(temporary, ignored);
        log_event({{"event", "publish_failed"}, {"error", "Win32 error " + std::to_string(error)}});
        return;
    }
    log_event({{"event", "published"}, {"path", to_utf8(target.wstring())}});
}

Json features_json() {
    return {{"features", {{"media", features.media}, {"stream", features.stream}}},
            {"stream", {{"running", features.running}}}};
}

// Checks the whole body before touching anything, so a bad body changes nothing.
std::optional<std::string> apply_features(const std::string& body) {
    const auto json = Json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object() || json.empty()) {
        return "expected a JSON object such as {\"media\":true}";
    }
    for (const auto& [key, value] : json.items()) {
        if (key != "media" && key != "stream") {
            return "unknown feature: " + key;
        }
        if (!value.is_boolean()) {
            return key + " must be true or false";
        }
    }
    if (json.contains("media")) {
        features.media = json["media"].get<bool>();
    }
    if (json.contains("stream")) {
        // A real server starts or stops streaming along with the switch.
        features.stream = features.running = json["stream"].get<bool>();
    }
    return std::nullopt;
}

Reply json_reply(const char* status, const Json& body) {
    return {status, "application/json", to_text(body)};
}

Reply route(const stand_in::Request& request, const Settings& settings) {
    const auto path = request.target.substr(0, request.target.find('?'));
    if (request.method == "GET" && path == "/") {
        return {"200 OK", "text/html; charset=utf-8", std::string(stand_in::dashboard_page())};
    }
    if (request.method == "GET" && path == "/api/features") {
        return json_reply("200 OK", features_json());
    }
    if (request.method == "POST" && path == "/api/features") {
        if (const auto error = apply_features(request.body)) {
            return json_reply("400 Bad Request", {{"error", *error}});
        }
        return json_reply("200 OK", features_json());
    }
    if (request.method == "POST" && path == "/api/quit") {
        // In the units of GetProcessTimes, so a test can time the server's end from here.
        FILETIME now{};
        GetSystemTimePreciseAsFileTime(&now);
        log_event({{"event", "quit"},
                   {"ignored", settings.ignore_quit},
                   {"filetime", (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime}});
        auto reply = json_reply("200 OK", Json::object());
        reply.quit = !settings.ignore_quit;
        return reply;
    }
    return json_reply("404 Not Found", {{"error", "not found"}});
}

void serve(SOCKET client, const Settings& settings) {
    // Slow senders are fine; a client that goes silent must not wedge the only thread.
    const DWORD timeout_ms = 15000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
               sizeof timeout_ms);
    const auto request = stand_in::read_request(client);
    if (!request.complete) {
        log_event({{"event", "incomplete"}, {"raw", request.raw}});
        closesocket(client);
        return;
    }
    if (!request.error.empty()) {
        log_event({{"event", "bad_request"}, {"error", request.error}, {"raw", request.raw}});
        stand_in::answer_and_close(client, "400 Bad Request", "application/json",
                                   to_text({{"error", request.error}}));
        return;
    }
    log_event({{"event", "request"},
               {"method", request.method},
               {"path", request.target},
               {"body", request.body},
               {"raw", request.raw}});
    if (request.target == "/api/quit")
        Sleep(static_cast<DWORD>(settings.quit_delay_ms));
    if (settings.reply == "silent") {
        char byte = 0;
        recv(client, &byte, 1, 0);  // until the client gives up, or the receive time-out
        closesocket(client);
        return;
    }
    if (settings.reply == "drip") {
        for (const std::string_view piece : {"HTTP/1.1 200 OK\r\n\r\n", "a", "b", "c", "d"}) {
            send(client, piece.data(), static_cast<int>(piece.size()), 0);
            Sleep(2000);
        }
        closesocket(client);
        return;
    }
    auto reply = route(request, settings);
    if (settings.reply == "huge")
        reply.body.assign(64 << 20, 'x');
    stand_in::answer_and_close(client, reply.status, reply.content_type, reply.body);
    if (reply.quit) {
        exit_now("quit");
    }
}

}  // namespace

int wmain() {
    const auto folder = exe_folder();
    log_path = folder / L"stand_in.log";
    Settings settings;
    try {
        settings = load_settings(folder);
    } catch (const std::exception& error) {
        log_event({{"event", "bad_settings"}, {"error", error.what()}});
        std::fprintf(stderr, "stand_in_server: bad stand_in.json: %s\n", error.what());
        return 2;
    }
    features = settings.features;

    std::wstring cwd(GetCurrentDirectoryW(0, nullptr), L'\0');
    cwd.resize(GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
    log_event({{"event", "start"},
               {"pid", GetCurrentProcessId()},
               {"no_browser", optional_utf8(environment(L"PELLOX_NO_BROWSER"))},
               {"command_line", to_utf8(GetCommandLineW())},
               {"cwd", to_utf8(cwd)},
               {"console", GetConsoleWindow() != nullptr},
               {"appdata", optional_utf8(environment(L"APPDATA"))}});
    // What a real server prints; it reaches whatever output the tray was given.
    const char started[] = "stand_in_server: started\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), started, sizeof started - 1, &written, nullptr);

    if (settings.exit_after_ms) {
        std::thread([ms = *settings.exit_after_ms] {
            Sleep(static_cast<DWORD>(ms));
            exit_now("exit_after");
        }).detach();
    }

    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // a free port, which it publishes
    int length = sizeof address;
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        log_event({{"event", "listen_failed"}, {"error", WSAGetLastError()}});
        return 1;
    }
    const int port = ntohs(address.sin_port);
    log_event({{"event", "listening"}, {"port", port}});

    if (settings.publish && settings.publish_delay_ms == 0) {
        publish_runtime(port);
    } else if (settings.publish) {
        // Requests are served meanwhile, as a real server may answer before it publishes.
        std::thread([delay_ms = settings.publish_delay_ms, port] {
            Sleep(static_cast<DWORD>(delay_ms));
            publish_runtime(port);
        }).detach();
    }

    for (;;) {
        const SOCKET client = accept(listener, nullptr, nullptr);
        if (client != INVALID_SOCKET) {
            serve(client, settings);
        }
    }
}

#include "harness.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace harness {
namespace {

std::vector<std::string> lines_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

const fs::path browser_log = bin_dir().parent_path() / "browser.log";
// Whatever a program of the harness prints shows even when it is ended
// abruptly: to a pipe, msvcrt's standard output is fully buffered.
const int unbuffered = std::setvbuf(stdout, nullptr, _IONBF, 0);

// Whether no process is left in the job within the time.
bool job_ended(HANDLE job, std::chrono::milliseconds timeout) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION in_job{};
    return wait_until(
        [&] {
            return QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &in_job,
                                             sizeof in_job, nullptr) &&
                   in_job.ActiveProcesses == 0;
        },
        timeout);
}

}  // namespace

fs::path bin_dir() {
    wchar_t path[4096];
    GetModuleFileNameW(nullptr, path, 4096);
    return fs::path(path).parent_path();
}

Install lay_out_install(const fs::path& root, const std::optional<nlohmann::json>& server_settings,
                        bool with_icon) {
    fs::remove_all(root);  // throws when a program of an earlier run still holds it
    const Install install{root / "install", root / "appdata"};
    fs::create_directories(install.install);
    fs::create_directories(install.appdata);
    // PELLOX_TRAY_EXE puts another build of the tray (a signed one, say) under test.
    const wchar_t* const other_tray = _wgetenv(L"PELLOX_TRAY_EXE");
    fs::copy_file(other_tray ? windows_path(other_tray) : bin_dir() / "Pellox-Desktop-Tray.exe",
                  install.install / "Pellox-Desktop-Tray.exe");
    if (with_icon)
        fs::copy_file(bin_dir() / "icon.ico", install.install / "icon.ico");
    if (server_settings) {
        fs::copy_file(bin_dir() / "stand_in_server.exe", install.install / "Pellox-Desktop.exe");
        write_text(install.install / "stand_in.json", server_settings->dump());
    }
    return install;
}

Install make_install(const std::string& name, const std::optional<nlohmann::json>& server_settings,
                     bool with_icon) {
    return lay_out_install(bin_dir().parent_path() / "test-runs" / name, server_settings,
                           with_icon);
}

fs::path windows_path(const std::wstring& path) {
    if (!path.starts_with(L"/"))
        return path;
    std::wstring converted = L"Z:" + path;
    std::replace(converted.begin(), converted.end(), L'/', L'\\');
    return converted;
}

void write_text(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::optional<DWORD> Process::wait_exit(std::chrono::milliseconds timeout) const {
    DWORD code = 0;
    if (WaitForSingleObject(handle.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(handle.get(), &code))
        return std::nullopt;
    return code;
}

bool Process::wait_all_ended(std::chrono::milliseconds timeout) const {
    return job_ended(job, timeout);
}

Process start_program(const fs::path& program, const fs::path& directory,
                      const std::wstring& arguments, HANDLE output) {
    std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
    }
    PROCESS_INFORMATION info{};
    // In a job of its own, so that whatever it starts (the tray's server) ends
    // with it: a server left running would hold CTest's output pipe open. And
    // without a console, as Explorer starts it: under Wine it would otherwise
    // share this one's, which would hide a server given a console of its own.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    bool started = false;
    // Wine's CreateProcess answers ERROR_INTERNAL_ERROR when the new process
    // ended in its own start-up before it had a status to give (its connection
    // to the wineserver closed): Wine's refusal, not the program's, and once
    // seen with ten starts at once. One more try.
    for (int attempt = 0; !started && attempt < 2; ++attempt) {
        started = SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                          sizeof limits) &&
                  CreateProcessW(program.wstring().c_str(), command.data(), nullptr, nullptr,
                                 output != nullptr, CREATE_SUSPENDED | DETACHED_PROCESS, nullptr,
                                 directory.wstring().c_str(), &startup, &info);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR)
            break;
        if (!started)
            std::fprintf(stderr,
                         "harness: Wine ended %ls in its start-up (error 1359); once more\n",
                         program.c_str());
    }
    // Outside the job nothing would end what it starts: better no run than a leak.
    if (!started || !AssignProcessToJobObject(job, info.hProcess)) {
        std::fprintf(stderr,
                     "harness: cannot start %ls in a job of its own (error %lu): the harness "
                     "failed, or Wine under it; the program under test did not\n",
                     program.c_str(), GetLastError());
        if (started)
            TerminateProcess(info.hProcess, 99);
        std::exit(3);
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    // All of it gone before the next test begins: a tray still ending holds the
    // named mutex, and the next tray would take itself for a second copy.
    const auto end = [job, program](HANDLE process) {
        TerminateJobObject(job, 99);
        if (!job_ended(job, 10s))
            std::fprintf(stderr, "harness: what %ls started still ran 10 s after it was ended\n",
                         program.c_str());
        CloseHandle(process);
        CloseHandle(job);
    };
    return {std::shared_ptr<void>(info.hProcess, end), info.dwProcessId, job};
}

StandIn start_stand_in(const std::string& name, const nlohmann::json& settings) {
    const auto install = make_install(name, settings);
    auto server = start_program(install.install / "Pellox-Desktop.exe", install.install);
    return {std::move(server), listening_port(install, 10s).value_or(0)};
}

Tray start_tray(const Install& install, HANDLE output) {
    SetEnvironmentVariableW(L"APPDATA", install.appdata.wstring().c_str());
    Tray tray{{}, notification_icons()};
    // Started elsewhere than its own folder, which is where the server must run.
    static_cast<Process&>(tray) = start_program(install.install / "Pellox-Desktop-Tray.exe",
                                                install.install.parent_path(), L"", output);
    return tray;
}

std::optional<NotificationIcon> tray_icon(const Tray& tray, std::chrono::milliseconds timeout) {
    return new_icon(tray.icons_before, timeout);
}

std::string tray_state(const Process& tray) {
    const auto code = tray.wait_exit(0ms);
    return code ? "it ended with status " + std::to_string(*code) : "it still runs";
}

std::shared_ptr<void> server_process(const Install& install, std::chrono::milliseconds timeout) {
    std::vector<nlohmann::json> started;
    wait_until([&] { return !(started = server_log(install, R"("event":"start")")).empty(); },
               timeout);
    const HANDLE server = started.empty()
                              ? nullptr
                              : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                            started[0].at("pid").get<DWORD>());
    return {server, [](HANDLE handle) { handle&& CloseHandle(handle); }};
}

std::vector<nlohmann::json> server_log(const Install& install, const std::string& text) {
    std::vector<nlohmann::json> events;
    for (const auto& line : lines_of(install.server_log())) {
        // The line being written may be cut short: only whole ones count.
        auto event = nlohmann::json::parse(line, nullptr, false);
        if (line.find(text) != std::string::npos && event.is_object())
            events.push_back(std::move(event));
    }
    return events;
}

std::optional<std::uint16_t> listening_port(const Install& install,
                                            std::chrono::milliseconds timeout) {
    std::vector<nlohmann::json> events;
    if (!wait_until(
            [&] { return !(events = server_log(install, R"("event":"listening")")).empty(); },
            timeout))
        return std::nullopt;
    return events.front().at("port").get<std::uint16_t>();
}

void clear_browser_log() {
    write_text(browser_log, "");
}

std::vector<std::string> opened_urls() {
    return lines_of(browser_log);
}

DWORD handle_count(HANDLE process) {
    DWORD count = 0;
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

std::vector<int> unix_pids(const fs::path& program_or_folder) {
    // As /proc shows a Windows program's path: Wine's name of it, in UTF-8.
    const auto comparable = [](std::string text) {
        for (char& c : text)
            c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string wanted = comparable(reinterpret_cast<const char*>(
        fs::absolute(program_or_folder).lexically_normal().u8string().c_str()));
    std::vector<int> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("Z:\\proc", error)) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string program;
        std::getline(in, program, '\0');
        program = comparable(program);
        const int pid = std::atoi(entry.path().filename().string().c_str());
        if (pid > 0 && (program == wanted || program.starts_with(wanted + '\\')))
            found.push_back(pid);
    }
    return found;
}

std::optional<long long> cpu_ticks_of(int unix_pid) {
    std::ifstream stat(fs::path("Z:\\proc") / std::to_string(unix_pid) / "stat");
    std::string line;
    if (!std::getline(stat, line))
        return std::nullopt;
    // After the parenthesised name: the state is the 3rd field, utime and stime the 14th and 15th.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::stoll(field);
    return ticks;
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                std::chrono::milliseconds poll) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        Sleep(static_cast<DWORD>(poll.count()));
    }
    return true;
}

}  // namespace harness

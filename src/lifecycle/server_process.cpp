#include "lifecycle/server_process.h"

#include <algorithm>
#include <optional>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/lock.h"
#include "platform/path.h"
#include "platform/process.h"

namespace lifecycle {
namespace {

constexpr std::wstring_view kServerExecutable = L"Pellox-Desktop.exe";
constexpr std::wstring_view kNoBrowserName = L"PELLOX_NO_BROWSER";
constexpr std::uint32_t kTerminatedExitCode = 1;

platform::Lock ServerChildLock;
std::optional<platform::ProcessHandles> ServerChild;

wchar_t fold_case(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c;
}

// The name part of "NAME=value". Entries such as "=C:=C:\dir" keep their
// leading '=' as part of the name.
std::wstring_view entry_name(std::wstring_view entry) {
    const auto equals = entry.find(L'=', 1);
    return entry.substr(0, equals == std::wstring_view::npos ? entry.size() : equals);
}

bool less_ignoring_case(std::wstring_view a, std::wstring_view b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](wchar_t x, wchar_t y) { return fold_case(x) < fold_case(y); });
}

bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) {
    return std::ranges::equal(a, b,
                              [](wchar_t x, wchar_t y) { return fold_case(x) == fold_case(y); });
}

void close_process(const platform::ProcessHandles& child) {
    platform::close_handle(child.process);
    platform::close_handle(child.thread);
}

}  // namespace

platform::NativeString server_environment_block(std::vector<platform::NativeString> entries) {
    std::erase_if(entries, [](const platform::NativeString& entry) {
        return equal_ignoring_case(entry_name(entry), kNoBrowserName);
    });
    entries.push_back(platform::NativeString(kNoBrowserName) + L"=1");
    std::ranges::stable_sort(entries, [](const auto& a, const auto& b) {
        return less_ignoring_case(entry_name(a), entry_name(b));
    });
    platform::NativeString block;
    for (const auto& entry : entries) {
        block += entry;
        block.push_back(L'\0');
    }
    return block;
}

void launch_server() {
    const auto program = platform::join_path(platform::exe_dir(), kServerExecutable);
    if (platform::file_type(program) != platform::FileType::Regular) {
        return;
    }
    const platform::LaunchRequest request{
        .program = program,
        .command_line = L"\"" + program + L"\"",
        .working_directory = platform::exe_dir(),
        .environment_block = server_environment_block(platform::environment_entries()),
    };
    const auto started = platform::create_process(request);
    if (!started) {
        return;
    }
    const platform::LockGuard lock(ServerChildLock);
    if (ServerChild) {
        close_process(*ServerChild);
    }
    ServerChild = started;
}

void stop_server() {
    const platform::LockGuard lock(ServerChildLock);
    if (!ServerChild) {
        return;
    }
    const bool exited =
        platform::wait_for_process(ServerChild->process, 0) == platform::WaitResult::Signalled &&
        platform::process_exit_code(ServerChild->process).has_value();
    if (!exited) {
        platform::terminate_process(ServerChild->process, kTerminatedExitCode);
    }
    close_process(*ServerChild);
    ServerChild.reset();
}

}  // namespace lifecycle

#include "lifecycle/server_process.h"

#include "platform/files.h"
#include "platform/lock.h"
#include "platform/path.h"
#include "platform/process.h"

namespace lifecycle {
namespace {

constexpr std::wstring_view kServerExecutable = L"Pellox-Desktop.exe";
constexpr std::uint32_t kTerminatedExitCode = 1;

platform::Lock ServerChildLock;
platform::StartedProcess ServerChild;

}  // namespace

void launch_server() {
    const auto program = platform::join_path(platform::exe_dir(), kServerExecutable);
    if (platform::file_type(program) != platform::FileType::Regular) {
        return;
    }
    // The tray opens the dashboard itself, once the port is known.
    auto started = platform::launch_hidden({
        .program = program,
        .folder = platform::exe_dir(),
        .extra_environment = {{L"PELLOX_NO_BROWSER", L"1"}},
    });
    if (!started) {
        return;
    }
    const platform::LockGuard lock(ServerChildLock);
    ServerChild = std::move(started);  // lets go of one launched before, if any
}

void stop_server() {
    const platform::LockGuard lock(ServerChildLock);
    if (!ServerChild) {
        return;
    }
    if (!platform::has_exited(*ServerChild)) {
        platform::terminate_process(*ServerChild, kTerminatedExitCode);
    }
    ServerChild.reset();
}

}  // namespace lifecycle

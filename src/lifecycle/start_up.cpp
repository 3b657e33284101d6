#include "lifecycle/start_up.h"

#include <chrono>

#include "lifecycle/dialog_texts.h"
#include "lifecycle/server_process.h"
#include "lifecycle/ui_language.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "server_link/runtime_file.h"
#include "server_link/server_address.h"

namespace lifecycle {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartupWait = 20s;
constexpr auto kPollPeriod = 250ms;

constexpr wchar_t kMutexName[] = L"Global\\PelloxDesktopTray";
// The product name is the same in every language; the text is in the user's.
constexpr wchar_t kDialogCaption[] = L"Pellox Desktop";

bool learn_port() {
    const auto port = server_link::read_runtime_port();
    if (port) {
        server_link::ServerPort = *port;
    }
    return port.has_value();
}

}  // namespace

StartupOutcome start_up(const Language& language) {
    // When the claim tells nothing, carrying on as the first copy beats
    // refusing to start at all.
    if (platform::claim_instance_mutex(kMutexName) == platform::InstanceClaim::AlreadyRunning) {
        if (learn_port()) {
            server_link::open_dashboard();
        }
        return StartupOutcome::SecondCopy;
    }

    launch_server();

    const auto deadline = platform::monotonic_now() + kStartupWait;
    while (platform::monotonic_now() < deadline) {
        if (learn_port()) {
            server_link::open_dashboard();
            return StartupOutcome::Ready;
        }
        platform::sleep_for(kPollPeriod);
    }

    platform::show_error_dialog(ui_text(language, IDS_START_FAILED), kDialogCaption,
                                language.direction);
    return StartupOutcome::Failed;
}

}  // namespace lifecycle

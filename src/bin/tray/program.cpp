#include "program.h"

#include <chrono>

#include "lifecycle/server_process.h"
#include "lifecycle/start_up.h"
#include "lifecycle/ui_language.h"
#include "platform/clock.h"
#include "platform/shell.h"
#include "server_link/server_api.h"
#include "tray/tray_icon.h"

int run_program() {
    using namespace std::chrono_literals;
    // Before the wait: the dashboard is opened the moment the port is known.
    platform::prepare_shell();
    // Once: Windows takes a change of display language only at the next sign-in.
    const auto& language = lifecycle::user_language();
    if (lifecycle::start_up(language) != lifecycle::StartupOutcome::Ready) {
        return 0;
    }
    tray::run_tray(language);
    // The icon is already gone; give the server a moment to exit on request
    // before ending it.
    server_link::request_quit();
    platform::sleep_for(600ms);
    lifecycle::stop_server();
    return 0;
}

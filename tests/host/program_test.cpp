#include <gtest/gtest.h>

#include "bin/tray/program.h"
#include "fake_platform.h"
#include "lifecycle/server_process.h"
#include "server_link/server_address.h"
#include "tray/tray_menu.h"
#include "tray/tray_window_proc.h"

namespace {

// The order of a quit and its grace are the Windows scenarios' business, which
// see them as they happen; here, the outcomes that end without one.
TEST(Program, EndsWithoutAShutdownWhenThereIsNothingToShutDown) {
    const std::pair<std::function<void(fake::State&)>, std::string> cases[] = {
        {[](fake::State& s) { s.instance = platform::InstanceClaim::AlreadyRunning; }, ""},
        // No port: the dialog, and a launched server is left running.
        {[](fake::State& s) { s.files.clear(); }, "error_dialog"},
        // The fatal stop runs no shutdown at all.
        {[](fake::State& s) { s.failing = {fake::Fault::Window}; }, "fatal"},
    };
    for (const auto& [arrange, order] : cases) {
        lifecycle::stop_server();
        fake::reset();
        server_link::ServerPort = 0;
        auto& fake = fake::state();
        fake.files[L"PelloxDesktop\\runtime.json"] = R"({"port": 8080})";
        fake.file_types[L"C:\\Pellox\\Pellox-Desktop.exe"] = platform::FileType::Regular;
        fake.messages = {
            {tray::WM_TRAYICON, 1, platform::kWmRButtonUp},
            {platform::kWmCommand, static_cast<std::uintptr_t>(tray::TrayCommand::Quit), 0}};
        arrange(fake);
        try {
            EXPECT_EQ(run_program(), 0);
        } catch (const fake::FatalStop&) {
            fake.journal.push_back("fatal");
        }
        EXPECT_EQ(fake.journal.front(), "prepare_shell");
        std::string kinds;
        for (const auto& line : fake::calls({"notify", "send POST /api/quit", "sleep 600",
                                             "terminate", "error_dialog", "fatal"})) {
            const auto kind = line.starts_with("sleep") ? line : line.substr(0, line.find(' '));
            kinds += (kinds.empty() ? "" : " | ") + kind;
        }
        EXPECT_EQ(kinds, order);
    }
    lifecycle::stop_server();
}

}  // namespace

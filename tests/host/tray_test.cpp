#include <gtest/gtest.h>

#include "bin/tray/program.h"
#include "fake_platform.h"
#include "lifecycle/server_process.h"
#include "server_link/runtime_file.h"
#include "tray/tray_icon.h"
#include "tray/tray_menu.h"
#include "tray/tray_window_proc.h"

namespace {

using tray::TrayCommand;
using tray::WM_TRAYICON;

constexpr auto kCommand = platform::kWmCommand;
constexpr auto kRightClick = platform::kWmRButtonUp;

std::uintptr_t id(TrayCommand command) {
    return static_cast<std::uintptr_t>(command);
}

// The server's answer to GET /api/features with the named switches true.
std::string features(const std::string& on) {
    const auto b = [&](const char* name) {
        return std::string(on.find(name) == std::string::npos ? "false" : "true");
    };
    return "HTTP/1.1 200 OK\r\n\r\n{\"features\":{\"media\":" + b("media") +
           ",\"stream\":" + b("stream") + "},\"stream\":{\"running\":" + b("running") + "}}";
}

void fresh(std::uint16_t port = 8080) {
    lifecycle::stop_server();
    fake::reset();
    server_link::ServerPort = port;
}

std::intptr_t send(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    return tray::tray_window_proc(reinterpret_cast<platform::WindowHandle>(0x777), message, wparam,
                                  lparam);
}

TEST(TrayWindow, AnswersOnlyItsOwnMessages) {
    const auto high_bits = static_cast<std::intptr_t>(std::int64_t{1} << 32);
    const std::string open = "open http://127.0.0.1:8080/";
    const std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t, std::string> cases[] = {
        {WM_TRAYICON, 1, platform::kWmLButtonDblClk, open},
        {WM_TRAYICON, 1, high_bits | platform::kWmLButtonDblClk, open},
        {WM_TRAYICON, 1, kRightClick,
         "menu 1 string 1/0409; -; 2 string 2/0409; 3 string 3/0409; -; 4 string 4/0409;"},
        {WM_TRAYICON, 1, platform::kWmLButtonUp, ""},
        {WM_TRAYICON, 1, platform::kWmMouseMove, ""},
        {kCommand, id(TrayCommand::OpenDashboard), 0, open},
        {kCommand, 0x10000 | id(TrayCommand::OpenDashboard), 0, open},  // the id is the low word
        {kCommand, id(TrayCommand::Quit), 0, "quit 0"},
        {kCommand, 5, 0, ""},
        {platform::kWmDestroy, 0, 0, "quit 0"},
        {0x0010 /* WM_CLOSE */, 0, 0, "default 0x10"},
    };
    for (const auto& [message, wparam, lparam, calls] : cases) {
        fresh();
        EXPECT_EQ(send(message, wparam, lparam), calls == "default 0x10" ? 0x4242 : 0);
        EXPECT_EQ(fake::seen({"open", "menu", "quit", "default"}), calls) << message;
    }
}

// Each switch reads the server again when chosen: the menu may have been open
// for a while.
TEST(TrayWindow, ChecksShowTheServerAndSwitchesNegateAFreshRead) {
    struct Case {
        std::vector<std::string> answers;  // to the menu's read, then the switch's
        std::uint32_t choice;
        std::pair<bool, bool> checked;  // media, stream
        std::string posted;
    };
    const auto all = features("media stream running");
    const Case cases[] = {
        {{all, all}, 3, {true, true}, R"({"stream":false})"},
        {{all, features("stream running")}, 2, {true, true}, R"({"media":true})"},
        {{features("stream"), features("stream")}, 3, {false, false}, R"({"stream":true})"},
        {{features("media"), features("media")}, 2, {true, false}, R"({"media":false})"},
        {{}, 2, {false, false}, R"({"media":true})"},  // silent
        {{all}, 0, {true, true}, ""},                  // dismissed
    };
    for (const auto& c : cases) {
        fresh();
        fake::state().answers = c.answers;
        fake::state().menu_choice = c.choice;
        send(WM_TRAYICON, 1, kRightClick);
        const auto menu = fake::seen({"menu"});
        EXPECT_EQ(std::pair(menu.find("2 [x]") != std::string::npos,
                            menu.find("3 [x]") != std::string::npos),
                  c.checked)
            << c.posted;
        // The menu's read, then for a switch a fresh read and the change.
        const auto& sent = fake::state().requests;
        ASSERT_EQ(sent.size(), c.posted.empty() ? 1u : 3u) << c.posted;
        EXPECT_TRUE(sent.back().ends_with("\r\n\r\n" + c.posted)) << sent.back();
    }
}

TEST(TrayIcon, ShowsTheBestIconUntilQuitAndRemovesItAfter) {
    const std::tuple<std::optional<platform::FileType>, std::string, std::string> cases[] = {
        {platform::FileType::Regular, "", "0x1c0"},
        {platform::FileType::Regular, "load_icon", "0xa99"},
        {std::nullopt, "", "0xa99"},
        {std::nullopt, "application_icon", "0x0"},
    };
    for (const auto& [icon_file, failing, icon] : cases) {
        fresh();
        if (icon_file)
            fake::state().file_types[L"C:\\Pellox\\icon.ico"] = *icon_file;
        fake::state().failing = {failing};
        fake::state().messages = {{kCommand, id(TrayCommand::Quit), 0}};
        tray::run_tray();
        const auto data = " window=0x777 id=1 message=0x8001 icon=" + icon + " tip=Pellox Desktop";
        EXPECT_EQ(fake::seen({"notify", "quit"}),
                  "notify-add" + data + " | quit 0 | notify-delete" + data);
    }
}

// The order of a quit and its grace are the Windows scenarios' business, which
// see them as they happen; here, the outcomes that end without one.
TEST(Program, EndsWithoutAShutdownWhenThereIsNothingToShutDown) {
    const std::pair<std::function<void(fake::State&)>, std::string> cases[] = {
        {[](fake::State& s) { s.mutex.last_error = platform::kErrorAlreadyExists; }, ""},
        // No port: the dialog, and a launched server is left running.
        {[](fake::State& s) { s.files.clear(); }, "message_box"},
        // The fatal stop runs no shutdown at all.
        {[](fake::State& s) { s.failing = {"window"}; }, "fatal"},
    };
    for (const auto& [arrange, order] : cases) {
        fresh(0);
        auto& fake = fake::state();
        fake.files[L"PelloxDesktop\\runtime.json"] = R"({"port": 8080})";
        fake.file_types[L"C:\\Pellox\\Pellox-Desktop.exe"] = platform::FileType::Regular;
        fake.messages = {{WM_TRAYICON, 1, kRightClick}, {kCommand, id(TrayCommand::Quit), 0}};
        arrange(fake);
        try {
            EXPECT_EQ(run_program(), 0);
        } catch (const fake::FatalStop&) {
            fake.journal.push_back("fatal");
        }
        EXPECT_EQ(fake.journal.front(), "prepare_shell");
        std::string kinds;
        for (const auto& line : fake::calls({"notify", "send POST /api/quit", "sleep 600",
                                             "terminate", "message_box", "fatal"})) {
            const auto kind = line.starts_with("sleep") ? line : line.substr(0, line.find(' '));
            kinds += (kinds.empty() ? "" : " | ") + kind;
        }
        EXPECT_EQ(kinds, order);
    }
    lifecycle::stop_server();
}

}  // namespace

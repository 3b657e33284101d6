#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"
#include "bin/tray/program.h"
#include "server_link/runtime_file.h"
#include "server_link/server_api.h"
#include "tray/tray_icon.h"
#include "tray/tray_menu.h"

namespace {

using server_link::FeatureState;
using tray::WM_TRAYICON;

// A library server behind the fake sockets: answers the features calls and
// keeps the state they set.
struct FakeServer {
    bool media = false;
    bool stream = false;
    bool running = false;

    void attach() {
        fake::state().respond = [this](const std::string& request) { return answer(request); };
    }

    std::string answer(const std::string& request) {
        const auto body = request.substr(request.find("\r\n\r\n") + 4);
        if (request.starts_with("POST /api/features")) {
            if (body.find("\"media\":") != std::string::npos) {
                media = body.find("true") != std::string::npos;
            } else {
                stream = running = body.find("true") != std::string::npos;
            }
        }
        const auto b = [](bool v) { return v ? "true" : "false"; };
        return std::string("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n") +
               "{\"features\":{\"media\":" + b(media) + ",\"stream\":" + b(stream) +
               "},\"stream\":{\"running\":" + b(running) + "}}";
    }
};

std::vector<std::string> request_lines() {
    std::vector<std::string> lines;
    for (const auto& request : fake::state().requests) {
        const auto body = request.substr(request.find("\r\n\r\n") + 4);
        lines.push_back(request.substr(0, request.find(' ', request.find(' ') + 1)) +
                        (body.empty() ? "" : " " + body));
    }
    return lines;
}

class Tray : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        server_link::ServerPort = 8080;
    }
    static std::intptr_t send(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
        return tray::tray_window_proc(kWindow, message, wparam, lparam);
    }
    static inline const auto kWindow = reinterpret_cast<platform::WindowHandle>(0x777);
};

TEST_F(Tray, WindowProcedureAnswersOnlyItsOwnMessages) {
    struct Case {
        std::uint32_t message;
        std::uintptr_t wparam;
        std::intptr_t lparam;
        std::intptr_t result;
        int dashboards;
        int menus;
        bool quits;
    };
    const std::int64_t high_bits = std::int64_t{1} << 32;
    const Case cases[] = {
        {WM_TRAYICON, 1, platform::kWmLButtonDblClk, 0, 1, 0, false},
        {WM_TRAYICON, 1, static_cast<std::intptr_t>(high_bits | platform::kWmLButtonDblClk), 0, 1,
         0, false},
        {WM_TRAYICON, 1, platform::kWmRButtonUp, 0, 0, 1, false},
        {WM_TRAYICON, 1, platform::kWmLButtonDown, 0, 0, 0, false},
        {WM_TRAYICON, 1, platform::kWmLButtonUp, 0, 0, 0, false},
        {WM_TRAYICON, 1, platform::kWmMouseMove, 0, 0, 0, false},
        {platform::kWmCommand, 1, 0, 0, 1, 0, false},
        {platform::kWmCommand, 0x10001, 0, 0, 1, 0, false},  // only the low word is the id
        {platform::kWmCommand, 4, 0, 0, 0, 0, true},
        {platform::kWmCommand, 0, 0, 0, 0, 0, false},
        {platform::kWmCommand, 5, 0, 0, 0, 0, false},
        {platform::kWmDestroy, 0, 0, 0, 0, 0, true},
        {0x0010 /* WM_CLOSE */, 0, 0, 0x4242, 0, 0, false},
    };
    for (const auto& c : cases) {
        SetUp();
        EXPECT_EQ(send(c.message, c.wparam, c.lparam), c.result) << std::hex << c.message;
        const auto& fake = fake::state();
        EXPECT_EQ(fake.opened_urls.size(), static_cast<std::size_t>(c.dashboards)) << c.message;
        EXPECT_EQ(fake.menus_created, c.menus) << c.message;
        EXPECT_EQ(fake.quit_posted.has_value(), c.quits) << c.message;
        if (c.quits) {
            EXPECT_EQ(fake.quit_posted, 0);
        }
        EXPECT_EQ(fake.defaulted.size(), c.result == 0x4242 ? 1u : 0u);
    }
}

TEST_F(Tray, MenuShowsTheFourCommandsWithLiveCheckMarks) {
    for (const bool media : {false, true}) {
        for (const bool stream : {false, true}) {
            const auto entries = tray::tray_menu_entries({.media = media, .stream = stream});
            ASSERT_EQ(entries.size(), 6u);
            const std::uint32_t separator = platform::kMfSeparator;
            const std::vector<std::pair<std::uint32_t, std::wstring>> expected = {
                {0, L"Open dashboard"},
                {separator, L""},
                {media ? platform::kMfChecked : 0u, L"Share movies, shows && music"},
                {stream ? platform::kMfChecked : 0u, L"Stream this PC"},
                {separator, L""},
                {0, L"Quit Pellox Desktop"},
            };
            const std::uint32_t ids[] = {1, 0, 2, 3, 0, 4};
            for (std::size_t i = 0; i < entries.size(); ++i) {
                EXPECT_EQ(entries[i].flags, expected[i].first) << i;
                EXPECT_EQ(entries[i].text ? entries[i].text : L"", expected[i].second) << i;
                EXPECT_EQ(static_cast<std::uint32_t>(entries[i].command), ids[i]) << i;
            }
        }
    }
}

TEST_F(Tray, RightClickTracksTheMenuAtTheCursorAndRunsTheChoice) {
    FakeServer server{.media = true, .stream = true, .running = true};
    server.attach();
    auto& fake = fake::state();
    fake.cursor = platform::Point{1200, 780};
    fake.menu_choice = 3;
    send(WM_TRAYICON, 1, platform::kWmRButtonUp);

    ASSERT_EQ(fake.menu_items.size(), 6u);
    EXPECT_EQ(fake.menu_items[2].flags, platform::kMfChecked);
    EXPECT_EQ(fake.menu_items[3].flags, platform::kMfChecked);
    EXPECT_EQ(fake.foreground, std::vector<platform::WindowHandle>{kWindow});
    EXPECT_EQ(fake.track_flags, std::vector<std::uint32_t>{0x122});
    EXPECT_EQ(fake.track_points[0].x, 1200);
    EXPECT_EQ(fake.track_points[0].y, 780);
    ASSERT_EQ(fake.posted.size(), 1u);
    EXPECT_EQ(fake.posted[0].second.message, platform::kWmNull);
    EXPECT_EQ(fake.menus_destroyed, 1);
    // The state is read again at the moment of the choice, then negated.
    EXPECT_EQ(request_lines(), (std::vector<std::string>{"GET /api/features", "GET /api/features",
                                                         "POST /api/features {\"stream\":false}"}));
    EXPECT_FALSE(server.stream);
}

TEST_F(Tray, CommandsNegateAFreshReadOfTheServer) {
    struct Case {
        std::uint32_t command;
        FakeServer server;
        std::string sent;
    };
    const Case cases[] = {
        {2, {.media = false}, "POST /api/features {\"media\":true}"},
        {2, {.media = true}, "POST /api/features {\"media\":false}"},
        {3, {.stream = true, .running = true}, "POST /api/features {\"stream\":false}"},
        // On but not running reads as off, so the switch turns it on.
        {3, {.stream = true, .running = false}, "POST /api/features {\"stream\":true}"},
    };
    for (auto c : cases) {
        SetUp();
        c.server.attach();
        send(platform::kWmCommand, c.command, 0);
        EXPECT_EQ(request_lines(), (std::vector<std::string>{"GET /api/features", c.sent}));
    }
}

TEST_F(Tray, WithTheServerSilentTheMenuIsAllOffAndSwitchesSendTrue) {
    auto& fake = fake::state();  // every connection closes without an answer
    fake.menu_choice = 2;
    send(WM_TRAYICON, 1, platform::kWmRButtonUp);
    EXPECT_EQ(fake.menu_items[2].flags, 0u);
    EXPECT_EQ(fake.menu_items[3].flags, 0u);
    EXPECT_EQ(fake.track_points[0].x, 0);  // no cursor position: (0, 0)
    EXPECT_EQ(request_lines().back(), "POST /api/features {\"media\":true}");
}

TEST_F(Tray, DismissingOrFailingToCreateTheMenuDoesNothing) {
    FakeServer server;
    server.attach();
    auto& fake = fake::state();
    fake.menu_choice = 0;
    send(WM_TRAYICON, 1, platform::kWmRButtonUp);
    EXPECT_EQ(request_lines(), std::vector<std::string>{"GET /api/features"});
    EXPECT_EQ(fake.menus_destroyed, 1);

    SetUp();
    fake::state().create_menu_fails = true;
    fake::state().menu_choice = 4;
    send(WM_TRAYICON, 1, platform::kWmRButtonUp);
    EXPECT_TRUE(fake::state().track_flags.empty());
    EXPECT_FALSE(fake::state().quit_posted);
}

const std::wstring kIcon = L"C:\\Program Files\\Pellox\\icon.ico";

TEST_F(Tray, RunTrayShowsTheIconUntilQuitAndRemovesItAfter) {
    struct Case {
        std::optional<platform::FileType> icon_file;
        bool file_loads;
        bool application_icon;
        platform::IconHandle expected;
    };
    const auto from_file = fake::State{}.icon_from_file;
    const auto generic = fake::State{}.application_icon;
    const Case cases[] = {
        {platform::FileType::Regular, true, true, from_file},
        {platform::FileType::Regular, false, true, generic},
        {platform::FileType::Directory, true, true, generic},
        {std::nullopt, true, true, generic},
        {std::nullopt, true, false, nullptr},
    };
    for (const auto& c : cases) {
        SetUp();
        auto& fake = fake::state();
        if (c.icon_file)
            fake.file_types[kIcon] = *c.icon_file;
        if (!c.file_loads)
            fake.icon_from_file = nullptr;
        if (!c.application_icon)
            fake.application_icon = nullptr;
        fake.messages = {{platform::kWmCommand, 4, 0}, {platform::kWmCommand, 1, 0}};

        tray::run_tray();
        EXPECT_EQ(fake.registered_class, L"PelloxTray");
        EXPECT_EQ(fake.icon_files_loaded.size(),
                  c.icon_file == platform::FileType::Regular ? 1u : 0u);
        ASSERT_EQ(fake.notify_calls.size(), 2u);
        for (const auto& call : fake.notify_calls) {
            EXPECT_EQ(call.window, reinterpret_cast<platform::WindowHandle>(0x777));
            EXPECT_EQ(call.id, 1u);
            EXPECT_EQ(call.callback_message, 0x8001u);
            EXPECT_EQ(call.icon, c.expected);
            EXPECT_EQ(call.tip, L"Pellox Desktop");
        }
        EXPECT_TRUE(fake.notify_calls[0].add);
        EXPECT_FALSE(fake.notify_calls[1].add);
        EXPECT_TRUE(fake.opened_urls.empty());  // the loop ended at Quit
    }
}

TEST_F(Tray, AWindowThatCannotBeCreatedIsTheFatalStop) {
    fake::state().create_window_fails = true;
    try {
        tray::run_tray();
        ADD_FAILURE() << "run_tray returned";
    } catch (const fake::FatalStop& stop) {
        EXPECT_EQ(stop.diagnostic, "create message window");
    }
    EXPECT_TRUE(fake::state().notify_calls.empty());
}

class Program : public Tray {
  protected:
    void SetUp() override {
        Tray::SetUp();
        lifecycle::stop_server();
        fake::reset();
        server_link::ServerPort = 0;
        auto& fake = fake::state();
        fake.environment[L"APPDATA"] = L"C:\\AppData";
        fake.files[L"C:\\AppData\\PelloxDesktop\\runtime.json"] = R"({"port": 8080})";
        fake.file_types[L"C:\\Program Files\\Pellox\\Pellox-Desktop.exe"] =
            platform::FileType::Regular;
        fake.messages = {{WM_TRAYICON, 1, platform::kWmRButtonUp}, {platform::kWmCommand, 4, 0}};
    }
};

TEST_F(Program, QuitRemovesTheIconThenAsksTheServerThenStopsItAfterTheGrace) {
    EXPECT_EQ(run_program(), 0);
    const auto& fake = fake::state();
    EXPECT_EQ(fake.journal, (std::vector<std::string>{"notify-add", "send", "notify-delete", "send",
                                                      "sleep 600", "terminate"}));
    EXPECT_EQ(request_lines().back(), "POST /api/quit {}");
    EXPECT_EQ(fake.processes.begin()->second.terminated_with, 1u);
}

TEST_F(Program, AServerThatExitedOnRequestIsNotTerminated) {
    // The server exits during the grace period.
    fake::state().after_sleep = [] {
        for (auto& [handle, process] : fake::state().processes) {
            process.wait = platform::WaitResult::Signalled;
            process.exit_code = 0;
        }
    };
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake::state().journal.back(), "sleep 600");
    EXPECT_EQ(fake::state().processes.begin()->second.terminated_with, std::nullopt);
}

TEST_F(Program, NoTrayAndNoShutdownUnlessStartUpIsReady) {
    auto& fake = fake::state();
    fake.mutex = {.has_handle = true, .last_error = platform::kErrorAlreadyExists};
    EXPECT_EQ(run_program(), 0);
    EXPECT_TRUE(fake.journal.empty());
    EXPECT_TRUE(fake.launches.empty());

    SetUp();
    fake::state().files.clear();
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(fake::state().message_boxes.size(), 1u);
    EXPECT_EQ(fake::state().notify_calls.size(), 0u);
    EXPECT_EQ(fake::state().requests.size(), 0u);  // a launched server is not stopped
    EXPECT_EQ(fake::state().processes.begin()->second.terminated_with, std::nullopt);
}

TEST_F(Program, AFatalStopSkipsTheShutdown) {
    fake::state().create_window_fails = true;
    EXPECT_THROW(run_program(), fake::FatalStop);
    EXPECT_TRUE(fake::state().requests.empty());
    EXPECT_EQ(fake::state().processes.begin()->second.terminated_with, std::nullopt);
}

}  // namespace

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"
#include "lifecycle/start_up.h"
#include "server_link/runtime_file.h"

namespace {

using namespace std::chrono_literals;
using lifecycle::StartupOutcome;

const std::wstring kRuntime = L"C:\\AppData\\PelloxDesktop\\runtime.json";

TEST(StartUp, WaitsReadingEvery250msForTwentySecondsAtMost) {
    struct Case {
        const char* at_start;  // runtime.json before the first read, if any
        std::chrono::milliseconds published_at;
        const char* published;
        bool server_exists;
        StartupOutcome outcome;
        std::string seen;
    };
    const auto never = 1h;
    const std::string dialog = " | message_box 0x10010 Pellox Desktop";
    const Case cases[] = {
        // The first read comes at once; one published at 5 s is read at the next poll.
        {nullptr, 5s, R"({"port": 8123})", true, StartupOutcome::Ready,
         "1 launch, 21 reads, 20 sleeps | open http://127.0.0.1:8123/"},
        {R"({"port": 9000})", never, "", true, StartupOutcome::Ready,
         "1 launch, 1 reads, 0 sleeps | open http://127.0.0.1:9000/"},
        {R"({"port": 65536})", 1s, R"({"port": 8124})", true, StartupOutcome::Ready,
         "1 launch, 5 reads, 4 sleeps | open http://127.0.0.1:8124/"},
        {nullptr, never, "", true, StartupOutcome::Failed,
         "1 launch, 80 reads, 80 sleeps" + dialog},
        {nullptr, never, "", false, StartupOutcome::Failed,
         "0 launch, 80 reads, 80 sleeps" + dialog},
        // The clock is tested before each read: a port published in the last sleep is too late.
        {nullptr, 20s, R"({"port": 8123})", true, StartupOutcome::Failed,
         "1 launch, 80 reads, 80 sleeps" + dialog},
    };
    for (const auto& c : cases) {
        lifecycle::stop_server();
        fake::reset();
        auto& fake = fake::state();
        fake.environment[L"APPDATA"] = L"C:\\AppData";
        if (c.server_exists)
            fake.file_types[L"C:\\Pellox\\Pellox-Desktop.exe"] = platform::FileType::Regular;
        if (c.at_start)
            fake.files[kRuntime] = c.at_start;
        const auto start = fake.now;
        fake.after_sleep = [&] {
            if (fake.now - start >= c.published_at)
                fake.files[kRuntime] = c.published;
        };
        EXPECT_EQ(lifecycle::start_up(), c.outcome) << c.seen;
        const auto count = [](std::string_view call) { return fake::calls({call}).size(); };
        EXPECT_EQ(fake::calls({"sleep"}), std::vector<std::string>(count("sleep"), "sleep 250"));
        EXPECT_EQ(std::to_string(count("launch")) + " launch, " + std::to_string(count("read")) +
                      " reads, " + std::to_string(count("sleep")) + " sleeps | " +
                      fake::seen({"open", "message_box"}),
                  c.seen);
    }
}

TEST(StartUp, ASecondCopyOnlyOpensTheRunningServersDashboard) {
    const std::string read = "read C:\\AppData\\PelloxDesktop\\runtime.json";
    // Without any handle "already exists" is no answer: carrying on as the first
    // copy beats refusing to start.
    const std::tuple<bool, const char*, StartupOutcome, std::string> cases[] = {
        {true, R"({"port": 65535})", StartupOutcome::SecondCopy,
         read + " | open http://127.0.0.1:65535/"},
        {true, nullptr, StartupOutcome::SecondCopy, read},
        {false, R"({"port": 8300})", StartupOutcome::Ready,
         "launch \"C:\\Pellox\\Pellox-Desktop.exe\" | " + read + " | open http://127.0.0.1:8300/"},
    };
    for (const auto& [has_handle, runtime, outcome, seen] : cases) {
        lifecycle::stop_server();
        fake::reset();
        auto& fake = fake::state();
        fake.environment[L"APPDATA"] = L"C:\\AppData";
        fake.file_types[L"C:\\Pellox\\Pellox-Desktop.exe"] = platform::FileType::Regular;
        fake.mutex = {.has_handle = has_handle, .last_error = platform::kErrorAlreadyExists};
        if (runtime)
            fake.files[kRuntime] = runtime;
        EXPECT_EQ(lifecycle::start_up(), outcome);
        EXPECT_EQ(fake::seen({"read", "open", "launch", "sleep", "message_box"}), seen);
    }
    lifecycle::stop_server();
}

}  // namespace

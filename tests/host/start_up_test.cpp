#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"
#include "lifecycle/start_up.h"
#include "server_link/runtime_file.h"

namespace {

using namespace std::chrono_literals;
using lifecycle::StartupOutcome;

TEST(StartUp, WaitsReadingEvery250msForTwentySecondsAtMostOrDefersToTheFirstCopy) {
    struct Case {
        platform::InstanceClaim instance;
        std::chrono::milliseconds published_at;  // when {"port": 65535} appears
        bool server_exists;
        StartupOutcome outcome;
        std::string seen;
    };
    constexpr auto first = platform::InstanceClaim::FirstCopy;
    constexpr auto second = platform::InstanceClaim::AlreadyRunning;
    const auto never = 1h;
    const std::string open = " | open http://127.0.0.1:65535/";
    const std::string dialog = " | error_dialog Pellox Desktop: string 5/0409";
    const Case cases[] = {
        // The first read comes at once; one published at 5 s is read at the next poll.
        {first, 5s, true, StartupOutcome::Ready, "1 launch, 21 reads, 20 sleeps" + open},
        {first, never, true, StartupOutcome::Failed, "1 launch, 80 reads, 80 sleeps" + dialog},
        {first, never, false, StartupOutcome::Failed, "0 launch, 80 reads, 80 sleeps" + dialog},
        // The clock is tested before each read: a port published in the last sleep is too late.
        {first, 20s, true, StartupOutcome::Failed, "1 launch, 80 reads, 80 sleeps" + dialog},
        {second, 0ms, true, StartupOutcome::SecondCopy, "0 launch, 1 reads, 0 sleeps" + open},
        {second, never, true, StartupOutcome::SecondCopy, "0 launch, 1 reads, 0 sleeps | "},
        // A claim that tells nothing: carrying on as the first copy beats refusing to start.
        {platform::InstanceClaim::Unknown, 0ms, true, StartupOutcome::Ready,
         "1 launch, 1 reads, 0 sleeps" + open},
    };
    for (const auto& c : cases) {
        lifecycle::stop_server();
        fake::reset();
        auto& fake = fake::state();
        fake.instance = c.instance;
        fake.environment[L"APPDATA"] = L"C:\\AppData";
        if (c.server_exists)
            fake.file_types[L"C:\\Pellox\\Pellox-Desktop.exe"] = platform::FileType::Regular;
        const auto start = fake.now;
        const auto publish = [&] {
            if (fake.now - start >= c.published_at)
                fake.files[L"C:\\AppData\\PelloxDesktop\\runtime.json"] = R"({"port": 65535})";
        };
        publish();
        fake.after_sleep = publish;
        EXPECT_EQ(lifecycle::start_up(lifecycle::choose_language({})), c.outcome) << c.seen;
        const auto count = [](std::string_view call) { return fake::calls({call}).size(); };
        EXPECT_EQ(fake::calls({"sleep"}), std::vector<std::string>(count("sleep"), "sleep 250"));
        EXPECT_EQ(std::to_string(count("launch")) + " launch, " + std::to_string(count("read")) +
                      " reads, " + std::to_string(count("sleep")) + " sleeps | " +
                      fake::seen({"open", "error_dialog"}),
                  c.seen);
    }
    lifecycle::stop_server();
}

}  // namespace

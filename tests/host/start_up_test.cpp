#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"
#include "lifecycle/start_up.h"
#include "server_link/runtime_file.h"

namespace {

using namespace std::chrono_literals;
using lifecycle::StartupOutcome;

const std::wstring kRuntime = L"C:\\AppData\\PelloxDesktop\\runtime.json";
const std::wstring kServer = L"C:\\Program Files\\Pellox\\Pellox-Desktop.exe";

class StartUp : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        lifecycle::stop_server();
        fake::reset();
        server_link::ServerPort = 0;
        fake::state().environment[L"APPDATA"] = L"C:\\AppData";
        fake::state().file_types[kServer] = platform::FileType::Regular;
        start = fake::state().now;
    }
    void TearDown() override { lifecycle::stop_server(); }

    // Publishes the port once the fake clock reaches `at` after the start.
    void publish_at(platform::Instant at, std::string text) {
        fake::state().after_sleep = [this, at, text] {
            if (fake::state().now - start >= at) {
                fake::state().files[kRuntime] = text;
            }
        };
    }

    platform::Instant start{};
};

TEST_F(StartUp, ReadsAtOnceThenEvery250msAndOpensTheDashboard) {
    publish_at(5s, R"({"port": 8123})");
    EXPECT_EQ(lifecycle::start_up(), StartupOutcome::Ready);
    auto& fake = fake::state();
    EXPECT_EQ(fake.mutex_names, std::vector<std::wstring>{L"Global\\PelloxDesktopTray"});
    EXPECT_EQ(fake.launches.size(), 1u);
    EXPECT_EQ(server_link::ServerPort, 8123);
    EXPECT_EQ(fake.opened_urls, std::vector<std::wstring>{L"http://127.0.0.1:8123/"});
    // Reads at 0, 0.25 s, ..., 5 s: the port is seen at the first poll after it appears.
    EXPECT_EQ(fake.file_reads, 21);
    EXPECT_EQ(fake.sleeps, std::vector<std::chrono::milliseconds>(20, 250ms));
    EXPECT_TRUE(fake.message_boxes.empty());
}

TEST_F(StartUp, AFileFromAnEarlierRunIsTakenWithoutWaiting) {
    fake::state().files[kRuntime] = R"({"port": 9000})";
    EXPECT_EQ(lifecycle::start_up(), StartupOutcome::Ready);
    EXPECT_EQ(fake::state().file_reads, 1);
    EXPECT_TRUE(fake::state().sleeps.empty());
    EXPECT_EQ(server_link::ServerPort, 9000);
}

TEST_F(StartUp, ShowsTheFailureDialogAfterTwentySeconds) {
    auto& fake = fake::state();
    fake.file_types.clear();  // no server executable: the wait still runs in full
    EXPECT_EQ(lifecycle::start_up(), StartupOutcome::Failed);
    EXPECT_TRUE(fake.launches.empty());
    EXPECT_EQ(fake.file_reads, 80);
    EXPECT_EQ(fake.now - start, 20s);
    ASSERT_EQ(fake.message_boxes.size(), 1u);
    const auto& dialog = fake.message_boxes[0];
    EXPECT_EQ(dialog.caption, L"Pellox Desktop");
    EXPECT_EQ(dialog.text,
              L"Pellox Desktop could not start its library server.\n\nTry running the installer "
              L"again. If it keeps happening, there will be a pellox-desktop-error.log in the "
              L"install folder saying why.");
    EXPECT_EQ(dialog.style, 0x10010u);
    EXPECT_TRUE(fake.opened_urls.empty());
    EXPECT_EQ(server_link::ServerPort, 0);
}

TEST_F(StartUp, APortPublishedDuringTheLastSleepIsTooLate) {
    publish_at(20s, R"({"port": 8123})");
    EXPECT_EQ(lifecycle::start_up(), StartupOutcome::Failed);
    EXPECT_EQ(fake::state().file_reads, 80);
    EXPECT_EQ(fake::state().message_boxes.size(), 1u);
}

TEST_F(StartUp, APortAboveTheRangeKeepsTheWaitGoing) {
    fake::state().files[kRuntime] = R"({"port": 65536})";
    publish_at(1s, R"({"port": 8124})");
    EXPECT_EQ(lifecycle::start_up(), StartupOutcome::Ready);
    EXPECT_EQ(server_link::ServerPort, 8124);
    EXPECT_EQ(fake::state().file_reads, 5);
}

TEST_F(StartUp, ASecondCopyOnlyOpensTheRunningServersDashboard) {
    struct Case {
        std::optional<std::string> runtime;
        std::vector<std::wstring> urls;
    };
    const Case cases[] = {
        {R"({"port": 8200})", {L"http://127.0.0.1:8200/"}},
        {std::nullopt, {}},
        {R"({"port": "8200"})", {}},
    };
    for (const auto& c : cases) {
        SetUp();
        auto& fake = fake::state();
        fake.mutex = {.has_handle = true, .last_error = platform::kErrorAlreadyExists};
        if (c.runtime)
            fake.files[kRuntime] = *c.runtime;
        EXPECT_EQ(lifecycle::start_up(), StartupOutcome::SecondCopy);
        EXPECT_EQ(fake.opened_urls, c.urls);
        EXPECT_EQ(fake.file_reads, 1);
        EXPECT_TRUE(fake.launches.empty());
        EXPECT_TRUE(fake.sleeps.empty());
        EXPECT_TRUE(fake.message_boxes.empty());
    }
}

TEST_F(StartUp, WithoutAnyMutexHandleItCarriesOnAsTheFirstCopy) {
    auto& fake = fake::state();
    // Even if the error code looks like "already exists", no handle means no answer.
    fake.mutex = {.has_handle = false, .last_error = platform::kErrorAlreadyExists};
    fake.files[kRuntime] = R"({"port": 8300})";
    EXPECT_EQ(lifecycle::start_up(), StartupOutcome::Ready);
    EXPECT_EQ(fake.launches.size(), 1u);
    EXPECT_EQ(fake.opened_urls, std::vector<std::wstring>{L"http://127.0.0.1:8300/"});
}

}  // namespace

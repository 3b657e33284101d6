#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"

namespace {

using platform::FileType;
using platform::WaitResult;

const std::wstring kServer = L"C:\\Program Files\\Pellox\\Pellox-Desktop.exe";

class ServerProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        lifecycle::stop_server();  // empty the slot a previous test may have filled
        fake::reset();
    }
};

TEST_F(ServerProcess, ExeDirFallsBackToTheCurrentFolder) {
    auto& fake = fake::state();
    EXPECT_EQ(lifecycle::exe_dir(), L"C:\\Program Files\\Pellox");
    fake.module_file_name = std::nullopt;
    EXPECT_EQ(lifecycle::exe_dir(), L".");
    fake.module_file_name = L"tray.exe";
    EXPECT_EQ(lifecycle::exe_dir(), L".");
}

TEST_F(ServerProcess, LaunchesOnlyARegularFile) {
    const std::pair<FileType, bool> cases[] = {
        {FileType::Regular, true},
        {FileType::Missing, false},
        {FileType::Directory, false},
        {FileType::Other, false},
    };
    for (const auto& [type, launched] : cases) {
        fake::reset();
        fake::state().file_types[kServer] = type;
        lifecycle::launch_server();
        EXPECT_EQ(fake::state().launches.size(), launched ? 1u : 0u);
        lifecycle::stop_server();
    }
}

TEST_F(ServerProcess, LaunchesFromItsFolderWithTheBrowserLeftToTheTray) {
    auto& fake = fake::state();
    fake.file_types[kServer] = FileType::Regular;
    fake.environment_entries = {L"Path=C:\\Windows", L"pellox_no_browser=0", L"=C:=C:\\work",
                                L"APPDATA=C:\\Users\\me\\AppData\\Roaming"};
    lifecycle::launch_server();
    ASSERT_EQ(fake.launches.size(), 1u);
    const auto& launch = fake.launches[0];
    EXPECT_EQ(launch.program, kServer);
    EXPECT_EQ(launch.command_line, L"\"" + kServer + L"\"");
    EXPECT_EQ(launch.working_directory, L"C:\\Program Files\\Pellox");
    using namespace std::string_literals;
    EXPECT_EQ(launch.environment_block,
              L"=C:=C:\\work\0APPDATA=C:\\Users\\me\\AppData\\Roaming\0Path=C:\\Windows\0"
              L"PELLOX_NO_BROWSER=1\0"s);
}

TEST_F(ServerProcess, StopTerminatesOnlyAServerThatHasNotExited) {
    struct Case {
        WaitResult wait;
        std::optional<std::uint32_t> exit_code;
        bool terminated;
    };
    const Case cases[] = {
        {WaitResult::TimedOut, std::nullopt, true},   // still running
        {WaitResult::Signalled, 0, false},            // exited by itself
        {WaitResult::Signalled, std::nullopt, true},  // exit code unreadable
        {WaitResult::Failed, std::nullopt, true},
    };
    for (const auto& c : cases) {
        fake::reset();
        auto& fake = fake::state();
        fake.file_types[kServer] = FileType::Regular;
        lifecycle::launch_server();
        ASSERT_EQ(fake.processes.size(), 1u);
        auto& child = fake.processes.begin()->second;
        child.wait = c.wait;
        child.exit_code = c.exit_code;

        lifecycle::stop_server();
        EXPECT_EQ(child.terminated_with,
                  c.terminated ? std::optional<std::uint32_t>(1) : std::nullopt);
        EXPECT_EQ(fake.closed_handles.size(), 2u);  // process and thread

        lifecycle::stop_server();  // the slot is empty now
        EXPECT_EQ(child.waits, 1);
        EXPECT_EQ(fake.closed_handles.size(), 2u);
    }
}

TEST_F(ServerProcess, ASecondLaunchReleasesTheFirstProcessHandles) {
    auto& fake = fake::state();
    fake.file_types[kServer] = FileType::Regular;
    lifecycle::launch_server();
    lifecycle::launch_server();
    ASSERT_EQ(fake.processes.size(), 2u);
    EXPECT_EQ(fake.closed_handles.size(), 2u);
    lifecycle::stop_server();
    EXPECT_EQ(fake.closed_handles.size(), 4u);
    int waited = 0;
    for (const auto& [handle, process] : fake.processes)
        waited += process.waits;
    EXPECT_EQ(waited, 1);  // only the newer one is still ours to stop
}

TEST_F(ServerProcess, FailedCreationLeavesNothingToStop) {
    auto& fake = fake::state();
    fake.file_types[kServer] = FileType::Regular;
    fake.create_process_fails = true;
    lifecycle::launch_server();
    lifecycle::stop_server();
    EXPECT_EQ(fake.launches.size(), 1u);
    EXPECT_TRUE(fake.closed_handles.empty());
}

}  // namespace

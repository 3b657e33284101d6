#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"

namespace {

using platform::FileType;
using platform::WaitResult;
using namespace std::string_literals;

const std::wstring kServer = L"C:\\Pellox\\Pellox-Desktop.exe";

// A fresh fake with the slot of ServerChild emptied.
fake::State& fresh() {
    lifecycle::stop_server();
    fake::reset();
    return fake::state();
}

TEST(ServerProcess, LaunchesARegularFileFromItsFolderWithTheBrowserLeftToTheTray) {
    for (const auto type :
         {FileType::Regular, FileType::Missing, FileType::Directory, FileType::Other}) {
        auto& fake = fresh();
        fake.file_types[kServer] = type;
        fake.environment_entries = {L"Path=C:\\Windows",    L"pellox_no_browser=0",
                                    L"=C:=C:\\work",        L"ProgramFiles(x86)=C:\\P86",
                                    L"APPDATA=C:\\Roaming", L"ProgramFiles=C:\\P",
                                    L"PELLOX_NO_BROWSERS=x"};
        lifecycle::launch_server();
        ASSERT_EQ(fake.launched.has_value(), type == FileType::Regular);
        if (!fake.launched)
            continue;
        EXPECT_EQ(fake.launched->program, kServer);
        EXPECT_EQ(fake.launched->command_line, L"\"" + kServer + L"\"");
        EXPECT_EQ(fake.launched->working_directory, L"C:\\Pellox");
        // Sorted by name without regard to case, as CreateProcess expects.
        EXPECT_EQ(fake.launched->environment_block,
                  L"=C:=C:\\work\0APPDATA=C:\\Roaming\0Path=C:\\Windows\0PELLOX_NO_BROWSER=1\0"
                  L"PELLOX_NO_BROWSERS=x\0ProgramFiles=C:\\P\0ProgramFiles(x86)=C:\\P86\0"s);
    }
}

TEST(ServerProcess, StopTerminatesOnlyAServerThatHasNotExited) {
    const std::tuple<WaitResult, std::optional<std::uint32_t>, std::string> cases[] = {
        {WaitResult::TimedOut, std::nullopt, "wait 0x1100 0 | terminate 0x1100 1"},   // running
        {WaitResult::Signalled, 0, "wait 0x1100 0"},                                  // exited
        {WaitResult::Signalled, std::nullopt, "wait 0x1100 0 | terminate 0x1100 1"},  // no code
        {WaitResult::Failed, std::nullopt, "wait 0x1100 0 | terminate 0x1100 1"},
    };
    for (const auto& [wait, exit_code, stop] : cases) {
        auto& fake = fresh();
        fake.file_types[kServer] = FileType::Regular;
        fake.wait = wait;
        fake.exit_code = exit_code;
        lifecycle::launch_server();
        lifecycle::stop_server();
        lifecycle::stop_server();  // the slot is empty now
        EXPECT_EQ(fake::seen({"wait", "terminate", "close"}),
                  stop + " | close 0x1100 | close 0x1108");
    }
}

}  // namespace

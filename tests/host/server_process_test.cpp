#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"
#include "platform/environment.h"

namespace {

using platform::FileType;
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
        lifecycle::launch_server();
        ASSERT_EQ(fake.launched.size(), type == FileType::Regular ? 1u : 0u);
        if (fake.launched.empty())
            continue;
        EXPECT_EQ(fake.launched[0].program, kServer);
        EXPECT_EQ(fake.launched[0].folder, L"C:\\Pellox");
        EXPECT_EQ(fake.launched[0].extra_environment,
                  std::vector<platform::EnvironmentVariable>({{L"PELLOX_NO_BROWSER", L"1"}}));
    }
}

// What the server's environment is made from, below the seam.
TEST(EnvironmentBlock, SetsTheExtraVariablesInAnyLetterCaseAndSortsAsWindowsExpects) {
    const std::vector<std::wstring> inherited = {
        L"Path=C:\\Windows",          L"pellox_no_browser=0", L"=C:=C:\\work",
        L"ProgramFiles(x86)=C:\\P86", L"APPDATA=C:\\Roaming", L"ProgramFiles=C:\\P",
        L"PELLOX_NO_BROWSERS=x"};
    EXPECT_EQ(platform::environment_block(inherited, {{L"PELLOX_NO_BROWSER", L"1"}}),
              L"=C:=C:\\work\0APPDATA=C:\\Roaming\0Path=C:\\Windows\0PELLOX_NO_BROWSER=1\0"
              L"PELLOX_NO_BROWSERS=x\0ProgramFiles=C:\\P\0ProgramFiles(x86)=C:\\P86\0"s);
}

// A second launch lets go of the first process, which runs on.
TEST(ServerProcess, StopTerminatesOnlyAServerThatHasNotExited) {
    for (const bool exited : {false, true}) {
        auto& fake = fresh();
        fake.file_types[kServer] = FileType::Regular;
        fake.exited = exited;
        lifecycle::launch_server();
        lifecycle::launch_server();
        lifecycle::stop_server();
        lifecycle::stop_server();  // the slot is empty now
        EXPECT_EQ(fake::seen({"terminate", "release"}),
                  std::string("release 1 | ") + (exited ? "" : "terminate 2 1 | ") + "release 2");
    }
}

}  // namespace

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "lifecycle/server_process.h"

namespace {

using platform::FileType;

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

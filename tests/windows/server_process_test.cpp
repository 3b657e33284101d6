#include <gtest/gtest.h>

#include "harness.h"
#include "lifecycle/server_process.h"
#include "platform/files.h"

namespace {

using namespace harness;

TEST(PlatformFiles, FileTypeTellsFilesFromFoldersAndMissingPaths) {
    const auto root = bin_dir().parent_path() / "test-runs" / "file-type";
    std::error_code ignored;
    fs::remove_all(root, ignored);
    fs::create_directories(root / "Pellox-Desktop.exe");
    write_text(root / "icon.ico", "not really an icon");

    using platform::FileType;
    EXPECT_EQ(platform::file_type((root / "icon.ico").wstring()), FileType::Regular);
    EXPECT_EQ(platform::file_type((root / "Pellox-Desktop.exe").wstring()), FileType::Directory);
    EXPECT_EQ(platform::file_type((root / "missing.exe").wstring()), FileType::Missing);
}

TEST(PlatformFiles, ReadsAFileAnotherProcessKeepsOpenForWriting) {
    const auto path = bin_dir().parent_path() / "test-runs" / "shared.json";
    write_text(path, R"({"port": 1})");
    const HANDLE writer =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::read_shared_file(path.wstring(), 1024), R"({"port": 1})");
    CloseHandle(writer);
    // And the tray's read never keeps the server from replacing the file.
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

// launch_server starts Pellox-Desktop.exe beside the running exe, so these
// tests put a stand-in server next to the test program for their duration.
class StopServer : public ::testing::Test {
  protected:
    void SetUp() override {
        std::error_code ignored;
        fs::remove(bin_dir() / "stand_in.log", ignored);
        fs::copy_file(bin_dir() / "stand_in_server.exe", server_,
                      fs::copy_options::overwrite_existing);
    }
    void TearDown() override {
        lifecycle::stop_server();
        std::error_code ignored;
        fs::remove(bin_dir() / "stand_in.json", ignored);
        fs::remove(bin_dir() / "stand_in.log", ignored);
        fs::remove(server_, ignored);
    }

    // The launched server's process, opened for waiting on it.
    HANDLE launch(const nlohmann::json& settings) {
        write_text(bin_dir() / "stand_in.json", settings.dump());
        lifecycle::launch_server();
        Install here;
        here.install = bin_dir();
        std::optional<DWORD> pid;
        wait_until(
            [&] {
                for (const auto& event : server_log(here)) {
                    if (event.value("event", "") == "start")
                        pid = event["pid"].get<DWORD>();
                }
                return pid.has_value();
            },
            10s);
        return pid ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, *pid) : nullptr;
    }

    static DWORD exit_code_after_exit(HANDLE process) {
        DWORD code = 12345;
        if (WaitForSingleObject(process, 5000) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process, &code);
        }
        CloseHandle(process);
        return code;
    }

    fs::path server_ = bin_dir() / "Pellox-Desktop.exe";
};

TEST_F(StopServer, TerminatesARunningServerWithExitCode1) {
    const HANDLE server = launch({{"publish", false}});
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(WaitForSingleObject(server, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    lifecycle::stop_server();
    EXPECT_EQ(exit_code_after_exit(server), 1u);
}

}  // namespace

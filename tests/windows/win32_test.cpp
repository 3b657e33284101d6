// The Win32 layer's contracts where only the real system can show them: the
// fatal stop's status, file sharing and sizes, Winsock's time-outs. (The clock
// shows in the start-up wait's length, which Language.* times: the failure
// dialog after 19 s at the earliest.)
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "platform/files.h"
#include "platform/process.h"
#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "server_link/server_address.h"

namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

// Whatever started the tray reads its status: a stop must not pass for
// success. Its one line is all it writes.
TEST(Win32, TheFatalStopEndsWithStatusOneAndSaysWhy) {
    const std::string line = "Pellox Desktop Tray: create message window (error 1407)\n";
    EXPECT_EXIT(
        (SetLastError(ERROR_CANNOT_FIND_WND_CLASS), platform::fatal_stop("create message window")),
        testing::ExitedWithCode(1), testing::Matcher<const std::string&>(testing::Eq(line)));
}

// The server may hold runtime.json while the tray reads it, and must then
// have it alone again; a huge one (a damaged disk, a stray copy) must cost a
// 250 ms poll no more than a small one. A folder is no server.
TEST(Win32, RuntimeJsonIsReadSharedAndNeverWholeAndAFolderIsNoServer) {
    const auto install = make_install("files", std::nullopt);
    const auto folder = install.install / "Pellox-Desktop.exe";
    fs::create_directory(folder);
    EXPECT_EQ(platform::file_type(folder.wstring()), platform::FileType::Directory);

    SetEnvironmentVariableW(L"APPDATA", install.appdata.wstring().c_str());
    const auto file = install.runtime_json();
    write_text(file, R"({"port": 1})");
    // This writer lets others only read: the read must share writing and
    // deleting to open the file at all.
    const HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(server_link::read_runtime_port(), 1);
    CloseHandle(writer);
    const HANDLE alone = CreateFileW(file.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE) << "the read left the file open";
    CloseHandle(alone);

    const std::string document = R"({"port":8003})";
    const std::pair<long long, std::optional<std::uint16_t>> cases[] = {
        {64 << 10, 8003}, {(64 << 10) + 1, std::nullopt}, {512LL << 20, std::nullopt}};
    for (const auto& [size, port] : cases) {
        // The document, spaces, and from 1 MiB on a hole (sparse).
        write_text(file, document + std::string(std::min(size, 1LL << 20) - document.size(), ' '));
        fs::resize_file(file, size);
        const auto started = Clock::now();
        EXPECT_EQ(server_link::read_runtime_port(), port) << size;
        EXPECT_LT(Clock::now() - started, 250ms) << size;
    }
}

// Each receive waits at most 3 s, but only each: a server that keeps dripping
// is waited for. Port 1 has nobody listening.
TEST(Win32, HostileServersGiveNothingOrTheWholeBodyInTime) {
    const std::string huge(64 << 20, 'x');
    // The server's reply (none: the port refuses), the body, the seconds it may take.
    const std::tuple<const char*, std::optional<std::string>, double, double> cases[] = {
        {"silent", std::nullopt, 2.5, 6},
        {nullptr, std::nullopt, 0, 2.5},
        {"huge", huge, 0, 30},
        {"drip", "abcd", 8, 12.5}};
    for (const auto& [reply, expected, at_least_s, at_most_s] : cases) {
        const auto server = reply ? start_stand_in(std::string("hostile-") + reply,
                                                   {{"publish", false}, {"reply", reply}})
                                  : StandIn{{}, 1};
        ASSERT_NE(server.port, 0) << reply << ": the server did not listen within 10 s";
        server_link::ServerPort = server.port;
        const auto started = Clock::now();
        const auto body = server_link::http_request("GET", "/api/features", std::nullopt);
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        EXPECT_TRUE(body == expected && seconds >= at_least_s && seconds <= at_most_s)
            << (reply ? reply : "refused") << ": " << (body ? body->size() : 0) << " bytes after "
            << seconds << " s";
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "harness.h"
#include "platform/files.h"

namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

// What start-up relies on: a wait on a folder watch ends when the server
// writes or renames its file there, and runs its full time otherwise.
TEST(FolderWatch, EndsTheWaitOnAChangeAndOnlyThen) {
    const auto root = bin_dir().parent_path() / "test-runs" / "folder-watch";
    struct Case {
        const char* name;
        std::function<void()> change;  // done 200 ms into a 3 s wait; none when empty
        bool wakes;
    };
    const Case cases[] = {
        {"a new file", [&] { write_text(root / "runtime.json", R"({"port": 1})"); }, true},
        {"a file renamed into place",
         [&] {
             write_text(root / "elsewhere" / "runtime.json.new", "{}");
             fs::rename(root / "elsewhere" / "runtime.json.new", root / "runtime.json");
         },
         true},
        {"a new folder", [&] { fs::create_directories(root / "PelloxDesktop"); }, true},
        {"a change in a subfolder only", [&] { write_text(root / "elsewhere" / "other.txt", "x"); },
         false},
        {"nothing", nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove_all(root, ignored);
        fs::create_directories(root / "elsewhere");
        const auto watch = platform::watch_folder(root.wstring());
        ASSERT_NE(watch, nullptr);
        std::thread changer([&] {
            std::this_thread::sleep_for(200ms);
            if (c.change)
                c.change();
        });
        const auto start = Clock::now();
        platform::wait_for_change(watch, 3s);
        const auto waited = Clock::now() - start;
        changer.join();
        platform::close_folder_watch(watch);
        if (c.wakes) {
            EXPECT_GE(waited, 150ms);
            EXPECT_LT(waited, 2s);
        } else {
            EXPECT_GE(waited, 2900ms);
        }
    }
}

TEST(FolderWatch, AFolderThatCannotBeWatchedStillWaitsTheTime) {
    const auto missing = bin_dir().parent_path() / "test-runs" / "no-such-folder";
    std::error_code ignored;
    fs::remove_all(missing, ignored);
    for (const auto& folder : {missing.wstring(), std::wstring()}) {
        const auto watch = platform::watch_folder(folder);
        EXPECT_EQ(watch, nullptr);
        const auto start = Clock::now();
        platform::wait_for_change(watch, 300ms);
        EXPECT_GE(Clock::now() - start, 290ms);
        platform::close_folder_watch(watch);
    }
}

}  // namespace

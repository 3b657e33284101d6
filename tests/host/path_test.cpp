#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/path.h"

namespace {

TEST(Paths, ExeDirIsTheModulesFolderOrElseTheCurrentOne) {
    const std::pair<std::optional<std::wstring>, std::wstring> cases[] = {
        {L"C:\\Pellox\\tray.exe", L"C:\\Pellox"},
        {L"C:\\tray.exe", L"C:\\"},
        {L"\\\\?\\C:\\tray.exe", L"\\\\?\\C:\\"},
        {L"\\\\server\\share\\tray.exe", L"\\\\server\\share"},
        {std::nullopt, L"."},
        {L"tray.exe", L"."},
    };
    for (const auto& [module, folder] : cases) {
        fake::reset();
        fake::state().module_file_name = module;
        EXPECT_EQ(platform::exe_dir(), folder);
    }
}

}  // namespace

#include <gtest/gtest.h>

#include "platform/environment.h"

namespace {

using namespace std::string_literals;

TEST(EnvironmentBlock, SetsTheExtraVariablesInAnyLetterCaseAndSortsAsWindowsExpects) {
    const std::vector<std::wstring> inherited = {
        L"Path=C:\\Windows",          L"pellox_no_browser=0", L"=C:=C:\\work",
        L"ProgramFiles(x86)=C:\\P86", L"APPDATA=C:\\Roaming", L"ProgramFiles=C:\\P",
        L"PELLOX_NO_BROWSERS=x"};
    EXPECT_EQ(platform::environment_block(inherited, {{L"PELLOX_NO_BROWSER", L"1"}}),
              L"=C:=C:\\work\0APPDATA=C:\\Roaming\0Path=C:\\Windows\0PELLOX_NO_BROWSER=1\0"
              L"PELLOX_NO_BROWSERS=x\0ProgramFiles=C:\\P\0ProgramFiles(x86)=C:\\P86\0"s);
}

}  // namespace

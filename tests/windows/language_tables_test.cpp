// The data file names each table's language twice, by its name and by its
// resource language id, and says which way it reads: Windows' own locale data
// must agree, or a table would be kept under another language's id (Brazil's
// texts under Portugal's) or read the wrong way.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "lifecycle/languages.h"

namespace {

std::wstring wide(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

TEST(LanguageTables, EachIsKeptUnderTheIdOfItsNameAndReadsItsWay) {
    for (const auto& table : lifecycle::kLanguages) {
        const auto name = wide(table.tag);
        EXPECT_EQ(LocaleNameToLCID(name.c_str(), LOCALE_ALLOW_NEUTRAL_NAMES), table.id)
            << table.tag;
        DWORD layout = 0;
        ASSERT_NE(GetLocaleInfoEx(name.c_str(), LOCALE_IREADINGLAYOUT | LOCALE_RETURN_NUMBER,
                                  reinterpret_cast<LPWSTR>(&layout), sizeof layout / sizeof(WCHAR)),
                  0)
            << table.tag;
        // 1 is right to left; 2 and 3 are the East Asian scripts, which may also run top to bottom.
        EXPECT_EQ(layout == 1, table.direction == platform::TextDirection::RightToLeft)
            << table.tag << " reads " << layout;
    }
    for (const auto& [display, tag] : lifecycle::kDisplayLanguages)
        EXPECT_TRUE(IsValidLocaleName(wide(display).c_str())) << display;
}

}  // namespace

// The data file names each table's language twice, by its name and by its
// resource language id, and says which way it reads: Windows' own locale data
// must agree, or a table would be kept under another language's id (Brazil's
// texts under Portugal's) or read the wrong way. And the user's preferred
// languages, as Windows hands them over, all of them in their order.
#include <windows.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <string>

#include "lifecycle/languages.h"
#include "platform/ui_languages.h"

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

// Wine gives one preferred language, the one LANG names, short enough for a
// string's own small buffer; Windows gives the user's whole list. While the
// test below runs, this is Windows' call as documented, for a user with more
// languages than that, and the real preferred_ui_languages calls it in its
// place (this test program's imports only); the other tests, and the harness
// reading the tray's language, get Wine's own answer. Windows writes as many
// units as the size says; here, only into a buffer (a heap block of the
// caller's, at this length) that holds them.
constexpr wchar_t kPreferred[] = L"cy-GB\0de-CH\0fr-CA\0en-US\0";
bool several_preferred = false;
std::size_t buffer_bytes = 0;
BOOL WINAPI preferred_as_documented(DWORD flags, PULONG count, PZZWSTR buffer, PULONG size) {
    if (!several_preferred) {
        static const auto wine =
            reinterpret_cast<decltype(&GetUserPreferredUILanguages)>(reinterpret_cast<void (*)()>(
                GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetUserPreferredUILanguages")));
        return wine(flags, count, buffer, size);
    }
    const ULONG needed = std::size(kPreferred);  // the names, each 0-terminated, and a last 0
    if (flags != MUI_LANGUAGE_NAME || (buffer != nullptr && *size < needed))
        return FALSE;  // ERROR_INSUFFICIENT_BUFFER
    if (buffer != nullptr && (buffer_bytes = _msize(buffer)) < sizeof kPreferred)
        return FALSE;
    if (buffer != nullptr)
        CopyMemory(buffer, kPreferred, sizeof kPreferred);
    *count = 4;
    *size = needed;
    return TRUE;
}

TEST(LanguageTables, ThePreferredLanguagesAreTheUsersWholeListInItsOrder) {
    const std::vector<std::string> expected = {"cy-GB", "de-CH", "fr-CA", "en-US"};
    several_preferred = true;
    const auto preferred = platform::preferred_ui_languages();
    several_preferred = false;
    EXPECT_EQ(preferred, expected);
    EXPECT_GE(buffer_bytes, sizeof kPreferred) << "a buffer smaller than the size it was given as";
}

}  // namespace

extern "C" {
decltype(&GetUserPreferredUILanguages) __imp_GetUserPreferredUILanguages = &preferred_as_documented;
}

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

TEST(Text, Utf8BecomesUtf16WithSurrogatePairsAndMalformedBytesBecomeFFFD) {
    const std::tuple<std::string, std::wstring, bool> cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC", L"caf\x00E9 \x20AC", true},
        {"\xF0\x9F\x8E\xAC", {wchar_t(0xD83C), wchar_t(0xDFAC)}, true},  // U+1F3AC
        {"\xF4\x8F\xBF\xBF", {wchar_t(0xDBFF), wchar_t(0xDFFF)}, true},  // U+10FFFF
        {"\xF0\x90\x80\x80", {wchar_t(0xD800), wchar_t(0xDC00)}, true},  // U+10000
        {std::string("nul\0inside", 10), std::wstring(L"nul\0inside", 10), true},
        {"a\xFF-b", L"a\xFFFD-b", false},
        {"\xC3", L"\xFFFD", false},                                // truncated
        {"\xE2-", L"\xFFFD-", false},                              // cut short
        {"\x80-\xE2\x82-", L"\xFFFD-\xFFFD-", false},              // stray, and cut short
        {"\xC0\xAF", L"\xFFFD\xFFFD", false},                      // overlong '/'
        {"\xE0\x80\xAF", L"\xFFFD\xFFFD\xFFFD", false},            // overlong, three bytes
        {"\xF0\x8F\xBF\xBF", L"\xFFFD\xFFFD\xFFFD\xFFFD", false},  // overlong U+FFFF
        {"\xED\xA0\x80", L"\xFFFD\xFFFD\xFFFD", false},            // an encoded surrogate
        {"\xF4\x90\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD", false},  // above U+10FFFF
        {"\xF5\x80\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD", false},  // no such lead byte
        {"\xF7\xBF\xBF\xBF", L"\xFFFD\xFFFD\xFFFD\xFFFD", false},
    };
    for (const auto& [utf8, utf16, valid] : cases) {
        EXPECT_EQ(platform::to_wide(utf8), utf16) << utf8;
        EXPECT_EQ(platform::is_valid_utf8(utf8), valid) << utf8;
    }
}

}  // namespace

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"

namespace {

TEST(ToWide, EncodesUtf16WithSurrogatePairs) {
    struct Case {
        std::string utf8;
        std::wstring expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:443/", L"http://127.0.0.1:443/"},
        {"", L""},
        {"caf\xC3\xA9", L"caf\x00E9"},
        {"\xE2\x82\xAC", L"\x20AC"},
        {"\xF0\x9F\x8E\xAC", std::wstring{wchar_t(0xD83C), wchar_t(0xDFAC)}},  // U+1F3AC
        {"\xF4\x8F\xBF\xBF", std::wstring{wchar_t(0xDBFF), wchar_t(0xDFFF)}},  // U+10FFFF
        {"a\xFF"
         "b",
         L"a\xFFFD"
         L"b"},
        {"\xED\xA0\x80", L"\xFFFD"},  // an encoded surrogate is not UTF-8
    };
    for (const auto& c : cases) {
        const auto wide = platform::to_wide(c.utf8);
        EXPECT_EQ(wide, c.expected) << c.utf8;
        EXPECT_EQ(wide.c_str()[wide.size()], L'\0');
    }
}

TEST(Utf8Validation, RejectsMalformedSequences) {
    const std::pair<std::string, bool> cases[] = {
        {"plain ascii", true},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAC", true},
        {std::string("nul\0inside", 10), true},
        {"\xC3", false},              // truncated
        {"\xC0\xAF", false},          // overlong '/'
        {"\xE0\x80\xAF", false},      // overlong, three bytes
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\x80", false},              // stray continuation
        {"\xE2\x82"
         "x",
         false},
    };
    for (const auto& [bytes, valid] : cases) {
        EXPECT_EQ(platform::is_valid_utf8(bytes), valid) << bytes;
    }
}

TEST(Utf16Validation, FindsUnpairedSurrogates) {
    EXPECT_TRUE(platform::is_valid_utf16(L"C:\\Users\\x\\AppData"));
    EXPECT_TRUE(platform::is_valid_utf16(std::wstring{wchar_t(0xD83C), wchar_t(0xDFAC)}));
    EXPECT_FALSE(platform::is_valid_utf16(std::wstring{L'a', wchar_t(0xD83C)}));
    EXPECT_FALSE(platform::is_valid_utf16(std::wstring{wchar_t(0xDFAC), L'a'}));
    EXPECT_FALSE(platform::is_valid_utf16(std::wstring{wchar_t(0xD83C), L'a'}));
}

TEST(FileTypes, OnlyNameSurrogatesAmongReparsePointsAreOther) {
    using platform::FileType;
    constexpr std::uint32_t kDirectory = 0x10;
    constexpr std::uint32_t kArchive = 0x20;
    constexpr std::uint32_t kReparse = 0x400;
    constexpr std::uint32_t kOffline = 0x1000;
    struct Case {
        const char* what;
        std::uint32_t attributes;
        std::uint32_t tag;
        FileType type;
    };
    const Case cases[] = {
        {"plain file", kArchive, 0, FileType::Regular},
        {"folder", kDirectory, 0, FileType::Directory},
        {"symbolic link", kReparse, 0xA000000C, FileType::Other},
        {"folder symbolic link", kDirectory | kReparse, 0xA000000C, FileType::Other},
        {"junction", kDirectory | kReparse, 0xA0000003, FileType::Other},
        {"cloud file", kArchive | kReparse | kOffline, 0x9000001A, FileType::Regular},
        {"cloud file, another provider", kArchive | kReparse, 0x9000101A, FileType::Regular},
        {"deduplicated file", kArchive | kReparse, 0x80000013, FileType::Regular},
        {"cloud placeholder folder", kDirectory | kReparse, 0x9000001A, FileType::Directory},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::file_type_of(c.attributes, c.tag), c.type) << c.what;
    }
}

TEST(Paths, JoinAndParent) {
    EXPECT_EQ(platform::join_path(L"C:\\Users\\me\\AppData\\Roaming", L"PelloxDesktop"),
              L"C:\\Users\\me\\AppData\\Roaming\\PelloxDesktop");
    EXPECT_EQ(platform::join_path(L"C:\\data\\", L"x"), L"C:\\data\\x");
    EXPECT_EQ(platform::join_path(L"C:/data/", L"x"), L"C:/data/x");
    EXPECT_EQ(platform::join_path(L"", L"PelloxDesktop"), L"PelloxDesktop");

    const std::pair<std::wstring, std::optional<std::wstring>> parents[] = {
        {L"C:\\Program Files\\Pellox\\tray.exe", L"C:\\Program Files\\Pellox"},
        {L"C:\\tray.exe", L"C:\\"},
        {L"\\\\server\\share\\tray.exe", L"\\\\server\\share"},
        {L"\\tray.exe", L"\\"},
        {L"tray.exe", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& [path, parent] : parents) {
        EXPECT_EQ(platform::parent_folder(path), parent);
    }
}

}  // namespace

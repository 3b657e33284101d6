#include <gtest/gtest.h>

#include "fake_platform.h"
#include "server_link/runtime_file.h"

namespace {

using server_link::parse_runtime_port;

TEST(RuntimePort, ReadsOnlyAPositiveIntegerPortOfTheTopObject) {
    const std::pair<std::string, std::optional<std::uint16_t>> cases[] = {
        {R"({"port": 443})", 443},
        {" \t\r\n{\"port\":1}\n ", 1},
        {R"({"port": 65535})", 65535},
        {R"({"other": {"port": 5}, "port": 7})", 7},
        {R"({"port": 0})", std::nullopt},
        {R"({"port": -1})", std::nullopt},
        {R"({"port": 443.0})", std::nullopt},
        {R"({"port": "443"})", std::nullopt},
        {R"({})", std::nullopt},
        {R"([443])", std::nullopt},
        {"", std::nullopt},
        {R"({"port": 443} x)", std::nullopt},
        {"\xEF\xBB\xBF{\"port\": 443}", std::nullopt},
        {"{\"port\": 443, \"x\": \"\xFF\"}", std::nullopt},
        {R"({"port": 443, /* note */ "a": 1})", std::nullopt},
        {R"({"port": 18446744073709551616})", std::nullopt},  // past 64 bits: a float
        // Past 16 bits is no port rather than its low bits (65537 would be port 1).
        {R"({"port": 65536})", std::nullopt},
        {R"({"port": 65537})", std::nullopt},
        {R"({"port": 4294967297})", std::nullopt},  // nor its low 32 bits
        // A NUL byte is not JSON anywhere, not even after a complete value.
        {std::string("{\"port\": 443}\0", 14), std::nullopt},
        {std::string("{\"port\": 443}\0{\"port\": 1}", 26), std::nullopt},
    };
    for (const auto& [text, port] : cases) {
        EXPECT_EQ(parse_runtime_port(text), port) << text;
    }
}

TEST(RuntimePort, AcceptsNestingUpTo127Containers) {
    const auto repeat = [](const std::string& text, int times) {
        std::string repeated;
        while (times-- > 0)
            repeated += text;
        return repeated;
    };
    // The port object itself is one of the open containers.
    for (const auto& [open, close] : {std::pair{"[", "]"}, std::pair{"{\"a\":", "}"}}) {
        for (const int depth : {127, 128}) {
            const auto text = R"({"port": 9, "deep": )" + repeat(open, depth - 1) + "0" +
                              repeat(close, depth - 1) + "}";
            EXPECT_EQ(parse_runtime_port(text),
                      depth == 127 ? std::optional<std::uint16_t>(9) : std::nullopt)
                << open << depth;
        }
    }
    // Scalars do not count as a level, and a very deep document is refused
    // without exhausting anything.
    EXPECT_EQ(parse_runtime_port(repeat("[", 100000) + repeat("]", 100000)), std::nullopt);
}

TEST(RuntimeFile, IsReadAfreshUnderAppdataOrElseTheCurrentFolder) {
    const std::pair<std::optional<std::wstring>, std::string> cases[] = {
        {L"C:\\Roaming", "read C:\\Roaming\\PelloxDesktop\\runtime.json"},
        {L"C:\\Roaming\\", "read C:\\Roaming\\PelloxDesktop\\runtime.json"},
        {std::nullopt, "read PelloxDesktop\\runtime.json"},
        {std::wstring{L'C', L':', wchar_t(0xD83C), wchar_t(0xDFAC)},
         "read C:??\\PelloxDesktop\\runtime.json"},
        // Not Unicode: a high surrogate at the end, a low one alone.
        {std::wstring{L'C', wchar_t(0xD800)}, "read PelloxDesktop\\runtime.json"},
        {std::wstring{wchar_t(0xDFAC), L'C'}, "read PelloxDesktop\\runtime.json"},
    };
    for (const auto& [appdata, read] : cases) {
        fake::reset();
        if (appdata)
            fake::state().environment[L"APPDATA"] = *appdata;
        server_link::read_runtime_port();
        server_link::read_runtime_port();
        EXPECT_EQ(fake::seen({"read"}), read + " | " + read);  // nothing is cached
    }
}

}  // namespace

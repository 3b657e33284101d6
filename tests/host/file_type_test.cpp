#include <gtest/gtest.h>

#include "platform/files.h"

namespace {

TEST(FileTypes, OnlyNameSurrogatesAmongReparsePointsAreNotFilesOrFolders) {
    using platform::FileType;
    constexpr std::uint32_t kDirectory = 0x10, kFile = 0x20, kReparse = 0x400;
    const std::tuple<const char*, std::uint32_t, std::uint32_t, FileType> cases[] = {
        {"plain file", kFile, 0, FileType::Regular},
        {"folder", kDirectory, 0, FileType::Directory},
        {"symbolic link", kReparse, 0xA000000C, FileType::Other},
        {"folder symbolic link", kDirectory | kReparse, 0xA000000C, FileType::Other},
        {"junction", kDirectory | kReparse, 0xA0000003, FileType::Other},
        {"cloud file", kFile | kReparse, 0x9000001A, FileType::Regular},
        {"deduplicated file", kFile | kReparse, 0x80000013, FileType::Regular},
        {"cloud placeholder folder", kDirectory | kReparse, 0x9000001A, FileType::Directory},
    };
    for (const auto& [what, attributes, tag, type] : cases) {
        EXPECT_EQ(platform::file_type_of(attributes, tag), type) << what;
    }
}

}  // namespace

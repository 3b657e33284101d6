#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/text.h"

namespace platform {

// The whole file, opened read-only while letting others read, write and delete
// it; nothing when it holds more than max_bytes, which are all that is read.
std::optional<std::string> read_shared_file(const NativeString& path, std::size_t max_bytes);

enum class FileType { Missing, Regular, Directory, Other };

// The type of what the path names after following links; a link that still
// resolves to a link reads as Other.
FileType file_type(const NativeString& path);

// The type told by a file's attributes and, for a reparse point, its tag.
FileType file_type_of(std::uint32_t attributes, std::uint32_t reparse_tag);

}  // namespace platform

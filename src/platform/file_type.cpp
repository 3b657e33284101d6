#include "platform/files.h"

namespace platform {
namespace {

constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

// IsReparseTagNameSurrogate: the tag's point stands for another named entity
// (symbolic links, junctions and the like).
bool is_name_surrogate(std::uint32_t tag) {
    return (tag & 0x20000000) != 0;
}

}  // namespace

// Other reparse points (cloud-synced placeholders, deduplicated files) still
// hold the file or folder their attributes say.
FileType file_type_of(std::uint32_t attributes, std::uint32_t reparse_tag) {
    if ((attributes & kFileAttributeReparsePoint) && is_name_surrogate(reparse_tag)) {
        return FileType::Other;
    }
    return (attributes & kFileAttributeDirectory) ? FileType::Directory : FileType::Regular;
}

}  // namespace platform

#include <windows.h>

#include "platform/files.h"

namespace platform {

std::optional<std::string> read_shared_file(const NativeString& path, std::size_t max_bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<std::string> content(std::in_place);
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            content.reset();
            break;
        }
        if (got == 0) {
            break;
        }
        content->append(chunk, got);
        if (content->size() > max_bytes) {
            content.reset();
            break;
        }
    }
    CloseHandle(file);
    return content;
}

FileType file_type(const NativeString& path) {
    // Opening without FILE_FLAG_OPEN_REPARSE_POINT follows links to their target.
    const HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return FileType::Missing;
    }
    FILE_ATTRIBUTE_TAG_INFO info{};
    const bool known =
        GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info) != 0;
    CloseHandle(handle);
    if (!known) {
        return FileType::Missing;
    }
    return file_type_of(info.FileAttributes, info.ReparseTag);
}

}  // namespace platform

#include <windows.h>

#include "platform/files.h"

namespace platform {

std::optional<NativeString> environment_variable(const wchar_t* name) {
    NativeString value(64, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD needed =
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (needed == 0) {
            // An empty value also returns 0, but without an error.
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return NativeString();
        }
        if (needed < value.size()) {
            value.resize(needed);
            return value;
        }
        value.resize(needed);
    }
}

std::vector<NativeString> environment_entries() {
    std::vector<NativeString> entries;
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) {
        return entries;
    }
    for (const wchar_t* entry = block; *entry != L'\0';) {
        NativeString text(entry);
        entry += text.size() + 1;
        entries.push_back(std::move(text));
    }
    FreeEnvironmentStringsW(block);
    return entries;
}

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

std::optional<NativeString> module_file_name() {
    // Paths may exceed MAX_PATH; grow until the name fits with room to spare.
    NativeString buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 0x8000 * 2) {
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace platform

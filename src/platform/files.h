#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace platform {

// The variable's value, or nothing when it is not set.
std::optional<NativeString> environment_variable(const wchar_t* name);

// This process's environment as "NAME=value" entries, in the system's order.
std::vector<NativeString> environment_entries();

// The whole file, opened read-only while letting others read, write and delete
// it; nothing when it holds more than max_bytes, which are all that is read.
std::optional<std::string> read_shared_file(const NativeString& path, std::size_t max_bytes);

enum class FileType { Missing, Regular, Directory, Other };

// The type of what the path names after following links; a link that still
// resolves to a link reads as Other.
FileType file_type(const NativeString& path);

// Signalled when a name in the folder is added, removed or renamed, or a file
// in it is written; nullptr when the folder cannot be watched.
using FolderWatch = void*;

FolderWatch watch_folder(const NativeString& folder);

// Returns once the folder changes or the time is up; without a watch it
// simply waits the whole time.
void wait_for_change(FolderWatch watch, std::chrono::milliseconds timeout);

void close_folder_watch(FolderWatch watch);

// The full path of the running executable.
std::optional<NativeString> module_file_name();

}  // namespace platform

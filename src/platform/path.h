#pragma once

#include <optional>
#include <string_view>

#include "platform/text.h"

namespace platform {

inline constexpr wchar_t kPathSeparator = L'\\';

// base + separator + name, without doubling a separator base already ends in.
// An empty base gives the bare name, a path relative to the current directory.
NativeString join_path(std::wstring_view base, std::wstring_view name);

// Everything before the last path component, or nothing when there is no
// parent ("tray.exe" has none; "C:\tray.exe" has "C:\", "\\?\C:\tray.exe" "\\?\C:\").
std::optional<NativeString> parent_folder(std::wstring_view path);

// The folder of the running executable, or "." when it cannot be told.
NativeString exe_dir();

}  // namespace platform

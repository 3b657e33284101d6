#include "platform/path.h"

#include "platform/process.h"

namespace platform {
namespace {

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

NativeString join_path(std::wstring_view base, std::wstring_view name) {
    NativeString joined(base);
    if (!joined.empty() && !is_separator(joined.back())) {
        joined.push_back(kPathSeparator);
    }
    joined.append(name);
    return joined;
}

std::optional<NativeString> parent_folder(std::wstring_view path) {
    const auto last = path.find_last_of(L"\\/");
    if (last == std::wstring_view::npos || last + 1 == path.size()) {
        return std::nullopt;
    }
    // Keep the separator of a root ("C:\", "\\?\C:\", "\") so it still names
    // that root rather than a drive's current directory or the volume device.
    const std::size_t drive = path.starts_with(L"\\\\?\\") ? 4 : 0;
    const bool root = last == 0 || (last == drive + 2 && path[drive + 1] == L':');
    return NativeString(path.substr(0, root ? last + 1 : last));
}

NativeString exe_dir() {
    const auto module = module_file_name();
    if (!module) {
        return L".";
    }
    return parent_folder(*module).value_or(L".");
}

}  // namespace platform

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "platform/ui_languages.h"

namespace platform {

std::vector<std::string> preferred_ui_languages() {
    std::vector<std::string> names;
    ULONG count = 0, size = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size)) {
        return names;
    }
    std::wstring list(size, L'\0');
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, list.data(), &size)) {
        return names;
    }
    // 0-terminated names, then an empty one; a language's name is ASCII.
    for (std::wstring_view rest(list.data(), size); !rest.empty() && rest.front() != L'\0';) {
        const auto name = rest.substr(0, rest.find(L'\0'));
        std::ranges::transform(name, names.emplace_back(name.size(), '?').begin(),
                               [](wchar_t c) { return c < 0x80 ? static_cast<char>(c) : '?'; });
        rest.remove_prefix(std::min(name.size() + 1, rest.size()));
    }
    return names;
}

}  // namespace platform

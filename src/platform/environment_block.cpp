#include <algorithm>
#include <string_view>

#include "platform/environment.h"

namespace platform {
namespace {

wchar_t fold_case(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c;
}

// The name part of "NAME=value". Entries such as "=C:=C:\dir" keep their
// leading '=' as part of the name.
std::wstring_view entry_name(std::wstring_view entry) {
    const auto equals = entry.find(L'=', 1);
    return entry.substr(0, equals == std::wstring_view::npos ? entry.size() : equals);
}

bool less_ignoring_case(std::wstring_view a, std::wstring_view b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](wchar_t x, wchar_t y) { return fold_case(x) < fold_case(y); });
}

bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) {
    return std::ranges::equal(a, b,
                              [](wchar_t x, wchar_t y) { return fold_case(x) == fold_case(y); });
}

}  // namespace

NativeString environment_block(std::vector<NativeString> entries,
                               const std::vector<EnvironmentVariable>& extra) {
    for (const auto& variable : extra) {
        std::erase_if(entries, [&](const NativeString& entry) {
            return equal_ignoring_case(entry_name(entry), variable.name);
        });
        entries.push_back(variable.name + L"=" + variable.value);
    }
    std::ranges::stable_sort(entries, [](const auto& a, const auto& b) {
        return less_ignoring_case(entry_name(a), entry_name(b));
    });
    NativeString block;
    for (const auto& entry : entries) {
        block += entry;
        block.push_back(L'\0');
    }
    return block;
}

}  // namespace platform

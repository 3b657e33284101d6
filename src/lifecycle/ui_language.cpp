#include "lifecycle/ui_language.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "lifecycle/languages.h"
#include "platform/string_resource.h"
#include "platform/ui_languages.h"

namespace lifecycle {
namespace {

static_assert(kLanguages[0].tag == "en-US",
              "English (US) is what every other language falls back to");

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Language names are compared without regard to letter case.
bool same_name(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return lower(x) == lower(y); });
}

// The parent Windows gives a language by its name: a Chinese region's is its
// script, any other name's is the name without its last part (sr-Latn-RS,
// sr-Latn, sr); the last has none.
std::string_view parent_of(std::string_view name) {
    constexpr std::pair<std::string_view, std::string_view> kChineseRegions[] = {
        {"zh-CN", "zh-Hans"}, {"zh-SG", "zh-Hans"}, {"zh-TW", "zh-Hant"},
        {"zh-HK", "zh-Hant"}, {"zh-MO", "zh-Hant"},
    };
    for (const auto& [region, script] : kChineseRegions) {
        if (same_name(name, region)) {
            return script;
        }
    }
    const auto last = name.rfind('-');
    return last == std::string_view::npos ? std::string_view() : name.substr(0, last);
}

bool is_named(const Language& language, std::string_view name) {
    if (same_name(language.tag, name)) {
        return true;
    }
    for (std::string_view rest = language.also_for; !rest.empty();) {
        const auto end = std::min(rest.find(' '), rest.size());
        if (same_name(rest.substr(0, end), name)) {
            return true;
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
}

}  // namespace

const Language& choose_language(const std::vector<std::string>& preferred) {
    for (const auto& tag : preferred) {
        for (std::string_view name = tag; !name.empty(); name = parent_of(name)) {
            const auto* const found = std::ranges::find_if(
                kLanguages, [&](const Language& table) { return is_named(table, name); });
            if (found != std::end(kLanguages)) {
                return *found;
            }
        }
    }
    return kLanguages[0];
}

const Language& user_language() {
    return choose_language(platform::preferred_ui_languages());
}

platform::NativeString ui_text(const Language& language, std::uint32_t id) {
    return platform::load_string(id, language.id);
}

}  // namespace lifecycle

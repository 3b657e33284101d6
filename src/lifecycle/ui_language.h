#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace lifecycle {

// One of the exe's string tables: the language it is written in as Windows
// names it, the resource language id it is kept under, which way it reads,
// and the other names it is chosen for, separated by spaces.
struct Language {
    std::string_view tag;
    std::uint16_t id;
    platform::TextDirection direction;
    std::string_view also_for;
};

// The table of the first preferred UI language (most preferred first) that
// has one, by the language's own name or else by its parents' as Windows
// names them (de-AT, then de; zh-HK, then zh-Hant); English (US) when none has.
const Language& choose_language(const std::vector<std::string>& preferred);

// The table the user's preferred UI languages get, as Windows names them now.
const Language& user_language();

// The text of this id in the language's table.
platform::NativeString ui_text(const Language& language, std::uint32_t id);

}  // namespace lifecycle

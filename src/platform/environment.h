#pragma once

#include <optional>
#include <vector>

#include "platform/text.h"

namespace platform {

// The variable's value, or nothing when it is not set.
std::optional<NativeString> environment_variable(const wchar_t* name);

struct EnvironmentVariable {
    NativeString name;
    NativeString value;

    bool operator==(const EnvironmentVariable&) const = default;
};

// The environment of a program to start, as Windows takes it: the entries
// ("NAME=value") with each extra variable set, replacing an entry of that name
// in any letter case, sorted by name without regard to case, and each ended
// by a 0 unit (the block's last 0 unit is c_str()'s).
NativeString environment_block(std::vector<NativeString> entries,
                               const std::vector<EnvironmentVariable>& extra);

}  // namespace platform

#pragma once

#include <optional>
#include <vector>

#include "platform/text.h"

namespace platform {

// The variable's value, or nothing when it is not set.
std::optional<NativeString> environment_variable(const wchar_t* name);

// This process's environment as "NAME=value" entries, in the system's order.
std::vector<NativeString> environment_entries();

}  // namespace platform

#pragma once

#include <cstdint>

#include "platform/text.h"

namespace platform {

// The executable's string resource of this id in the table of exactly this
// resource language id; empty when there is none.
NativeString load_string(std::uint32_t id, std::uint16_t language);

}  // namespace platform

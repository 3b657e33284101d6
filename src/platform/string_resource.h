#pragma once

#include <cstdint>

#include "platform/text.h"

namespace platform {

// The executable's string resource of this id, from the block Windows'
// resource loader chooses for the thread's UI language (falling back to the
// English one); empty when there is none.
NativeString load_string(std::uint32_t id);

}  // namespace platform

#pragma once

#include <chrono>

namespace platform {

// A monotonic instant: time since an arbitrary, fixed origin.
using Instant = std::chrono::nanoseconds;

Instant monotonic_now();

void sleep_for(std::chrono::milliseconds duration);

}  // namespace platform

#pragma once

#include <chrono>

namespace platform {

// A monotonic instant: time since an arbitrary, fixed origin.
using Instant = std::chrono::nanoseconds;

// Now on the monotonic clock, which no change of the wall clock moves.
Instant monotonic_now();

// Blocks this thread for at least the duration.
void sleep_for(std::chrono::milliseconds duration);

}  // namespace platform

#include <windows.h>

#include "platform/clock.h"

namespace platform {

Instant monotonic_now() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    // Split to keep counter * 1e9 from overflowing.
    const long long whole = counter.QuadPart / frequency.QuadPart;
    const long long part = counter.QuadPart % frequency.QuadPart;
    return std::chrono::seconds(whole) +
           std::chrono::nanoseconds(part * 1'000'000'000LL / frequency.QuadPart);
}

void sleep_for(std::chrono::milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

}  // namespace platform

#include <windows.h>

#include "platform/lock.h"

namespace platform {
namespace {

// A slim reader/writer lock is one pointer, unlocked when 0, and needs no
// threads library (std::mutex brings winpthread into the exe).
static_assert(sizeof(SRWLOCK) == sizeof(Lock));

PSRWLOCK srw(Lock& lock) {
    return reinterpret_cast<PSRWLOCK>(&lock);
}

}  // namespace

void acquire(Lock& lock) {
    AcquireSRWLockExclusive(srw(lock));
}

void release(Lock& lock) {
    ReleaseSRWLockExclusive(srw(lock));
}

}  // namespace platform

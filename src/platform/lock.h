#pragma once

namespace platform {

// A lock around data that more than one thread could reach, ready as declared
// at namespace scope. Taking it twice on one thread never returns.
struct Lock {
    void* state = nullptr;
};
void acquire(Lock& lock);
void release(Lock& lock);

// Holds the lock from its making to its end.
class LockGuard {
  public:
    explicit LockGuard(Lock& lock) : lock_(lock) { acquire(lock_); }
    ~LockGuard() { release(lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Lock& lock_;
};

}  // namespace platform

// The companion's locks. Each one counts itself held on its thread, so that the seam's test double can
// fail a test that sends to a window of the main thread, or shows a box, while holding one: the other
// thread may be waiting on that very lock, and a sent message waits for the thread that owns the window.
#pragma once

#include <mutex>

namespace qxlock {
inline thread_local int held = 0;
}

// How many of the companion's locks this thread holds.
inline int LocksHeld() {
    return qxlock::held;
}

struct Lock {
    std::mutex mutex;
    void lock() {
        mutex.lock();
        ++qxlock::held;
    }
    void unlock() {
        --qxlock::held;
        mutex.unlock();
    }
};

typedef std::lock_guard<Lock> LockGuard;

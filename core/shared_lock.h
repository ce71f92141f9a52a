// The one lock of an object that publishes, subscribes, or both.
#pragma once

#include <mutex>

namespace TolvarRT {

// Inherited virtually by every subscription role, so an object that is a
// byte-pipe subscriber and a frame-pipe subscription at once still has exactly
// one lock, shared by all its roles and by its own code. Re-entrant, so that a
// producer holding it for a whole delivery may be called back on the same
// thread.
class CSharedLock {
public:
    CSharedLock(const CSharedLock&) = delete;
    CSharedLock& operator=(const CSharedLock&) = delete;

protected:
    CSharedLock() = default;
    ~CSharedLock() = default;

    mutable std::recursive_mutex sharedLock;
};

}  // namespace TolvarRT

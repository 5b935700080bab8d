#pragma once

namespace platform {

// The per-session lock that keeps the watchdog to one copy. The lock is
// released when the object is destroyed, if release() did not do it before.
class InstanceLock
{
public:
    enum class Outcome {
        Acquired,    // this copy is the only one
        AlreadyHeld, // another copy of the session holds it
        Failed,      // the lock object could not be created
    };

    virtual ~InstanceLock() = default;

    virtual Outcome acquire() = 0;
    // Gives the lock up; a second call does nothing.
    virtual void release() = 0;
};

} // namespace platform

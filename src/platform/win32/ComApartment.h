#pragma once

namespace platform::win32_backend {

// COM on the calling thread for the length of one call. A thread that
// already has COM (Qt's main thread is in a single-threaded apartment, a
// worker may be in the multi-threaded one) keeps it as it was; a thread
// without COM gets it for the call and is left without it again, so that
// a later CoInitializeEx of the thread's owner still chooses freely.
class ComApartment
{
public:
    ComApartment();
    ~ComApartment();

    ComApartment(const ComApartment &) = delete;
    ComApartment &operator=(const ComApartment &) = delete;

    // False only when COM could not be started on this thread at all.
    bool usable() const { return available; }

private:
    bool available = false;
    bool mustUninitialize = false;
};

} // namespace platform::win32_backend

#pragma once

namespace platform::win32_backend {

// Releases a COM interface at the end of its scope.
template<typename Interface>
class ComPointer
{
public:
    ComPointer() = default;
    ~ComPointer()
    {
        if (pointer)
            pointer->Release();
    }
    ComPointer(const ComPointer &) = delete;
    ComPointer &operator=(const ComPointer &) = delete;

    Interface *operator->() const { return pointer; }
    Interface *get() const { return pointer; }
    Interface **out() { return &pointer; }
    void **outVoid() { return reinterpret_cast<void **>(&pointer); }

private:
    Interface *pointer = nullptr;
};

} // namespace platform::win32_backend

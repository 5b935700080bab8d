#include "Win32Hid.h"

#include "HidApi.h"
#include "Win32HidDevice.h"
#include "WideText.h"

#include <setupapi.h>

#include <cstddef>
#include <vector>

namespace platform::win32_backend {

namespace {

// The device path of one interface of the list; nullopt when its detail
// cannot be read.
std::optional<std::string> interfacePath(HDEVINFO list, SP_DEVICE_INTERFACE_DATA &entry)
{
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(list, &entry, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return std::nullopt;
    // The detail is a header followed by the path; keep it aligned for the
    // header's DWORD.
    std::vector<DWORD> storage(needed / sizeof(DWORD) + 1);
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(list, &entry, detail, needed, nullptr, nullptr))
        return std::nullopt;
    // The path ends at its terminator or at the end of what was filled in,
    // whichever comes first.
    const std::size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const std::size_t capacity = (needed - pathOffset) / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < capacity && detail->DevicePath[length] != L'\0')
        ++length;
    return narrow(detail->DevicePath, length);
}

} // namespace

std::optional<std::vector<std::string>> Win32Hid::listInterfaces()
{
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO list = SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE)
        return std::nullopt;

    std::optional<std::vector<std::string>> paths(std::in_place);
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA entry{};
        entry.cbSize = sizeof entry;
        if (!SetupDiEnumDeviceInterfaces(list, nullptr, &hidClass, index, &entry)) {
            // Anything but the normal end leaves the list incomplete.
            if (GetLastError() != ERROR_NO_MORE_ITEMS)
                paths.reset();
            break;
        }
        std::optional<std::string> path = interfacePath(list, entry);
        if (!path) {
            // A device that went away between the two calls, or a list we
            // cannot read: the caller treats both as no list at all.
            paths.reset();
            break;
        }
        if (!path->empty())
            paths->push_back(std::move(*path));
    }
    SetupDiDestroyDeviceInfoList(list);
    return paths;
}

std::shared_ptr<HidDevice> Win32Hid::open(const std::string &path, int &error)
{
    const std::wstring widePath = widen(path);
    if (widePath.empty()) {
        error = ERROR_INVALID_NAME;
        return nullptr;
    }
    // Shared for reading and writing: the system's own HID clients keep the
    // interface open too. Overlapped, so that reads can time out and be
    // woken.
    HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    error = 0;
    return std::make_shared<Win32HidDevice>(handle);
}

} // namespace platform::win32_backend

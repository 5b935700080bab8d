#include "DirectShowVideoDevices.h"

#include "ComApartment.h"
#include "ComPointer.h"
#include "WideText.h"

#include <windows.h>
#include <dshow.h>
#include <oleauto.h>

namespace platform::win32_backend {

namespace {

// The moniker's "DevicePath" as UTF-8; nullopt when the device has no
// readable path.
std::optional<std::string> devicePath(IMoniker &moniker)
{
    ComPointer<IPropertyBag> properties;
    if (FAILED(moniker.BindToStorage(nullptr, nullptr, IID_IPropertyBag, properties.outVoid())) || !properties.get())
        return std::nullopt;

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR; // asks the bag for a string
    std::optional<std::string> path;
    if (SUCCEEDED(properties->Read(L"DevicePath", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
        path = narrow(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return path;
}

} // namespace

std::optional<std::vector<std::optional<std::string>>> DirectShowVideoDevices::listDevicePaths()
{
    const ComApartment com;
    if (!com.usable())
        return std::nullopt;

    ComPointer<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devices.outVoid()))
        || !devices.get())
        return std::nullopt;

    // S_FALSE (and a null enumerator) means the category has no device at
    // all, which the caller treats like a failure.
    ComPointer<IEnumMoniker> category;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, category.out(), 0) != S_OK
        || !category.get())
        return std::nullopt;

    std::vector<std::optional<std::string>> paths;
    for (;;) {
        ComPointer<IMoniker> moniker;
        if (category->Next(1, moniker.out(), nullptr) != S_OK || !moniker.get())
            break;
        paths.push_back(devicePath(*moniker.get()));
    }
    return paths;
}

} // namespace platform::win32_backend

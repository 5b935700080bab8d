// The filter on Windows: a COM class, registered with regsvr32. The command
// names the module without a directory; regsvr32 finds it by its usual
// search, which includes the current directory.
#include "platform/FilterRegistration.h"

#include "TlxuvcGuid.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

using tlxuvc::toGuid;

class ComFilterRegistration final : public FilterRegistration
{
public:
    void openSession() override { sessionOpen = SUCCEEDED(CoInitialize(nullptr)); }

    void closeSession() override
    {
        if (sessionOpen)
            CoUninitialize();
        sessionOpen = false;
    }

    bool filterInPlace() override
    {
        const GUID filterClass = toGuid(tlxuvc::FILTER_CLASS);
        const GUID filterInterface = toGuid(tlxuvc::FILTER_INTERFACE);
        IUnknown *filter = nullptr;
        const HRESULT result = CoCreateInstance(filterClass, nullptr, CLSCTX_INPROC_SERVER, filterInterface,
                                                reinterpret_cast<void **>(&filter));
        // The object only proves the class can be created; it is not used.
        if (filter)
            filter->Release();
        return result == S_OK;
    }

    void registerFilter() override { static_cast<void>(std::system("regsvr32 /s tlxuvc.ax")); }
    void unregisterFilter() override { static_cast<void>(std::system("regsvr32 /s /u tlxuvc.ax")); }

private:
    bool sessionOpen = false;
};

} // namespace

std::unique_ptr<FilterRegistration> createFilterRegistration()
{
    return std::make_unique<ComFilterRegistration>();
}

} // namespace platform

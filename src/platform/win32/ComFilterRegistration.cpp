// The filter on Windows: a COM class, registered with regsvr32. Both are
// named by absolute paths: System32's regsvr32, started directly (the
// command interpreter would first look in the current folder for a
// program of that name), and the filter beside the updater (regsvr32's
// own search would take it from the current folder, or PATH).
#include "platform/FilterRegistration.h"

#include "ProgramLocations.h"
#include "TlxuvcGuid.h"

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace platform {

namespace {

using tlxuvc::toGuid;
using platform::win32_backend::isFile;
using platform::win32_backend::programDirectory;

constexpr const wchar_t *FilterModule = L"tlxuvc.ax";
// A registration that hangs must not hold the firmware update up for good.
constexpr DWORD RegistrationTimeLimitMs = 60000;

std::wstring systemDirectory()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    const UINT length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0 || length >= buffer.size())
        return {};
    return std::wstring(buffer.data(), length);
}

// "regsvr32 /s [/u] <folder of the updater>\tlxuvc.ax", waited for; the
// result is not examined (only a second check of the class tells). Nothing
// runs when either file is missing.
void runRegsvr32(bool undo)
{
    const std::wstring system = systemDirectory();
    const std::wstring folder = programDirectory();
    if (system.empty() || folder.empty())
        return;
    const std::wstring regsvr32 = system + L"\\regsvr32.exe";
    const std::wstring filter = folder + L"\\" + FilterModule;
    if (!isFile(regsvr32) || !isFile(filter))
        return;
    std::wstring commandLine = L"\"" + regsvr32 + L"\" /s " + (undo ? L"/u " : L"") + L"\"" + filter + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // In System32 as its current folder: the filter's own loads never meet
    // whatever the caller's folder holds.
    if (!CreateProcessW(regsvr32.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        system.c_str(), &startup, &started))
        return;
    WaitForSingleObject(started.hProcess, RegistrationTimeLimitMs);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

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

    void registerFilter() override { runRegsvr32(false); }
    void unregisterFilter() override { runRegsvr32(true); }

private:
    bool sessionOpen = false;
};

} // namespace

std::unique_ptr<FilterRegistration> createFilterRegistration()
{
    return std::make_unique<ComFilterRegistration>();
}

} // namespace platform

#include "ShellStart.h"

#include "ProcessSession.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <optional>

namespace setup_helper {

namespace {

// Releases a COM interface when it goes out of scope.
template<typename Interface>
class ComRef
{
public:
    ComRef() = default;
    ~ComRef()
    {
        if (pointer)
            pointer->Release();
    }
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;

    Interface *operator->() const { return pointer; }
    Interface **out() { return &pointer; }
    void **outVoid() { return reinterpret_cast<void **>(&pointer); }
    explicit operator bool() const { return pointer != nullptr; }

private:
    Interface *pointer = nullptr;
};

bool runsAsSystem()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer{};
    DWORD length = 0;
    const bool system = GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &length)
                        && IsWellKnownSid(buffer.user.User.Sid, WinLocalSystemSid);
    CloseHandle(token);
    return system;
}

} // namespace

bool interactiveUser()
{
    const std::optional<DWORD> session = platform::win32_backend::ownSession();
    return !runsAsSystem() && session && *session != 0;
}

HRESULT startThroughShell(const std::wstring &program)
{
    ComRef<IShellWindows> windows;
    HRESULT result = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                      windows.outVoid());
    if (FAILED(result))
        return result;
    VARIANT anywhere;
    VariantInit(&anywhere);
    long desktopWindow = 0;
    ComRef<IDispatch> desktop;
    result = windows->FindWindowSW(&anywhere, &anywhere, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                                   desktop.out());
    if (result != S_OK || !desktop)
        return FAILED(result) ? result : E_FAIL; // S_FALSE: no desktop shell runs
    ComRef<IServiceProvider> services;
    ComRef<IShellBrowser> browser;
    ComRef<IShellView> view;
    ComRef<IDispatch> background;
    ComRef<IShellFolderViewDual> folderView;
    ComRef<IDispatch> application;
    ComRef<IShellDispatch2> shell;
    if (FAILED(result = desktop->QueryInterface(IID_IServiceProvider, services.outVoid()))
        || FAILED(result = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.outVoid()))
        || FAILED(result = browser->QueryActiveShellView(view.out()))
        || FAILED(result = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.outVoid()))
        || FAILED(result = background->QueryInterface(IID_IShellFolderViewDual, folderView.outVoid()))
        || FAILED(result = folderView->get_Application(application.out()))
        || FAILED(result = application->QueryInterface(IID_IShellDispatch2, shell.outVoid())))
        return result;

    BSTR file = SysAllocString(program.c_str());
    if (!file)
        return E_OUTOFMEMORY;
    VARIANT none;
    VariantInit(&none);
    result = shell->ShellExecute(file, none, none, none, none);
    SysFreeString(file);
    return result;
}

} // namespace setup_helper

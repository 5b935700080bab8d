#include "ShellStart.h"

#include "ComPointer.h"
#include "PeerSessionCheck.h"
#include "ProcessSession.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <optional>

namespace setup_helper {

using platform::win32_backend::ComPointer;

namespace {

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
    ComPointer<IShellWindows> windows;
    HRESULT result = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                      windows.outVoid());
    if (FAILED(result))
        return result;
    VARIANT anywhere;
    VariantInit(&anywhere);
    long desktopWindow = 0;
    ComPointer<IDispatch> desktop;
    result = windows->FindWindowSW(&anywhere, &anywhere, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                                   desktop.out());
    if (result != S_OK || !desktop.get())
        return FAILED(result) ? result : E_FAIL; // S_FALSE: no desktop shell runs
    ComPointer<IServiceProvider> services;
    ComPointer<IShellBrowser> browser;
    ComPointer<IShellView> view;
    ComPointer<IDispatch> background;
    ComPointer<IShellFolderViewDual> folderView;
    ComPointer<IDispatch> application;
    ComPointer<IShellDispatch2> shell;
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

bool setupRightsAreTheUsers()
{
    if (platform::win32_backend::runningUnderWine())
        return true;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    const bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length);
    CloseHandle(token);
    return known && !elevation.TokenIsElevated;
}

bool startDirectly(const std::wstring &program)
{
    const std::wstring::size_type slash = program.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : program.substr(0, slash);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace setup_helper

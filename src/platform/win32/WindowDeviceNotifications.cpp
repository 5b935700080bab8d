#include "WindowDeviceNotifications.h"

#include "HidApi.h"

#include <dbt.h>

namespace platform::win32_backend {

namespace {

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32, "the filter record the system expects");

HINSTANCE programInstance()
{
    return GetModuleHandleW(nullptr);
}

// A function of user32.dll looked up by name, with the module reference
// held while it is used. The registration functions are taken this way so
// that a system without them still runs the program, without notifications.
class User32Function
{
public:
    explicit User32Function(const char *name) : module(LoadLibraryW(L"user32.dll"))
    {
        if (module)
            address = GetProcAddress(module, name);
    }
    ~User32Function()
    {
        if (module)
            FreeLibrary(module);
    }
    User32Function(const User32Function &) = delete;
    User32Function &operator=(const User32Function &) = delete;

    template<typename Function>
    Function as() const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    }

private:
    HMODULE module;
    FARPROC address = nullptr;
};

using RegisterFunction = HDEVNOTIFY(WINAPI *)(HANDLE, LPVOID, DWORD);
using UnregisterFunction = BOOL(WINAPI *)(HDEVNOTIFY);

} // namespace

WindowDeviceNotifications::~WindowDeviceNotifications()
{
    teardown();
}

bool WindowDeviceNotifications::create(DeviceNotificationListener &target)
{
    if (window)
        return false; // one window an object; teardown() first
    listener = &target;

    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = programInstance();
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = ClassName;
    // A class left registered by an earlier object of ours has the same
    // procedure, which finds its object through the window: reuse it.
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;

    // The object reaches the procedure through the creation parameter; the
    // procedure keeps it in the window's user data.
    window = CreateWindowExW(0, ClassName, WindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, programInstance(), this);
    if (!window) {
        UnregisterClassW(ClassName, programInstance());
        return false;
    }
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    return true;
}

bool WindowDeviceNotifications::registerForDeviceNotifications(int &lastError)
{
    if (!window) {
        lastError = ERROR_INVALID_WINDOW_HANDLE;
        return false;
    }
    if (registration)
        return true;

    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);

    const User32Function registerFunction("RegisterDeviceNotificationW");
    if (const auto registerNotification = registerFunction.as<RegisterFunction>())
        registration = registerNotification(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!registration) {
        lastError = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

bool WindowDeviceNotifications::teardown()
{
    if (window) {
        DestroyWindow(window);
        window = nullptr;
    }
    // Fails harmlessly while another object's window still uses the class.
    UnregisterClassW(ClassName, programInstance());
    listener = nullptr;

    if (!registration)
        return false;
    const User32Function unregisterFunction("UnregisterDeviceNotification");
    const auto unregisterNotification = unregisterFunction.as<UnregisterFunction>();
    const bool undone = unregisterNotification && unregisterNotification(registration);
    registration = nullptr;
    return undone;
}

LRESULT CALLBACK WindowDeviceNotifications::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                            LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and after teardown
    // have no object to go to.
    auto *self = reinterpret_cast<WindowDeviceNotifications *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->listener || self->window != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

LRESULT WindowDeviceNotifications::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DEVICECHANGE:
        if (wParam == DBT_DEVICEARRIVAL) {
            // The header's size says how much of it there is: a record too
            // short to hold a device type is not a device interface.
            const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
            const bool deviceInterface = header && header->dbch_size >= sizeof(DEV_BROADCAST_HDR)
                                         && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
            listener->deviceArrived(deviceInterface);
        } else if (wParam == DBT_DEVICEREMOVECOMPLETE) {
            listener->deviceRemoved();
        }
        return 0;
    case WM_POWERBROADCAST:
        listener->powerEvent(static_cast<int>(wParam));
        // TRUE grants the requests of the old query events.
        return TRUE;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace platform::win32_backend

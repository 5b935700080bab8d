#pragma once

#include "platform/DeviceNotifications.h"

#include <windows.h>

namespace platform::win32_backend {

// Device-change and power notifications through a hidden top-level window
// of the class "MainWindowClass". Broadcasts such as WM_POWERBROADCAST reach
// top-level windows only, so a message-only window would not do. The
// window belongs to the thread that creates it, and its messages are
// dispatched by whatever pumps that thread's messages (Qt's event loop).
class WindowDeviceNotifications final : public DeviceNotifications
{
public:
    WindowDeviceNotifications() = default;
    ~WindowDeviceNotifications() override;

    WindowDeviceNotifications(const WindowDeviceNotifications &) = delete;
    WindowDeviceNotifications &operator=(const WindowDeviceNotifications &) = delete;

    bool create(DeviceNotificationListener &listener) override;
    bool registerForDeviceNotifications(int &lastError) override;
    bool teardown() override;

    static constexpr const wchar_t *ClassName = L"MainWindowClass";
    static constexpr const wchar_t *WindowTitle = L"The Hello Program";

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    DeviceNotificationListener *listener = nullptr;
    HWND window = nullptr;
    HDEVNOTIFY registration = nullptr;
};

} // namespace platform::win32_backend

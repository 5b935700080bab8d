#pragma once

#include <functional>
#include <memory>
#include <string>

#include "DeviceNotifications.h"
#include "Hid.h"
#include "InstanceLock.h"
#include "Modules.h"
#include "Processes.h"
#include "Sound.h"
#include "VideoDevices.h"

namespace platform {

// Everything the core asks of the operating system, besides sockets. The
// core reaches it through current(); unit tests install fakes.
class Platform
{
public:
    virtual ~Platform() = default;

    virtual Processes &processes() = 0;
    virtual Hid &hid() = 0;
    virtual VideoDevices &videoDevices() = 0;
    virtual Modules &modules() = 0;
    virtual Sound &sound() = 0;

    virtual std::unique_ptr<InstanceLock> createInstanceLock(const std::string &name) = 0;
    virtual std::unique_ptr<DeviceNotifications> createDeviceNotifications() = 0;

    // The session asks the program to end (SIGTERM, SIGINT or SIGHUP; the
    // session ending on Windows). onRequest runs on the main thread, from
    // its event loop; sessionEndRequested() may be asked from anywhere, also
    // when no event loop runs.
    virtual void watchForSessionEnd(std::function<void()> onRequest) = 0;
    virtual bool sessionEndRequested() = 0;

    // Waits on the main thread, outside any event loop, for up to
    // milliseconds (more than 0: the caller skips a wait that has nothing
    // left); false as soon as the session asks the program to end.
    // Windows asks through window messages and takes a thread that does not
    // answer them for one that blocks the sign-out, so its backend keeps
    // answering while it waits; here the request is looked for every 100 ms.
    virtual bool waitUnlessSessionEnds(int milliseconds);

    // A service manager runs the program and starts its fresh copies (the
    // systemd user unit on Linux): the program then ends with
    // RestartExitCode instead of starting the copy itself.
    virtual bool serviceManagerRestarts() = 0;
    static constexpr int RestartExitCode = 75;
};

// The platform in use: the backend of this build, unless a test installed
// another one.
Platform &current();
// Installs a platform for the rest of the process; null restores the
// backend. The caller keeps ownership.
void install(Platform *platform);

// The backend of this build; created on first use.
Platform &backend();

// Hands the Linux backend the player behind sound(). Its player is Qt
// Multimedia, which only the watchdog plays through: the viewer and the tray
// share this layer and should not load it. Until a player is handed in,
// sound() there plays nothing. The Windows backend plays through the system
// and ignores this. The caller keeps ownership; null takes the player back.
void useSoundPlayer(Sound *player);

} // namespace platform

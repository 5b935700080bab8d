#pragma once

#include "platform/Modules.h"

#include <mutex>
#include <shared_mutex>

// The process-wide binding to the camera control library "ZentraSw.dll" and
// its companion filter "tlxuvc.ax", both loaded at run time. Every operation
// reports failure through its result and a log line.
//
// The library is called from several threads (viewer requests, the button
// reader, device notifications). Calls into it share a read lock and loading
// or releasing the modules takes the write lock, so the library is never
// released under a call that is still running in it.
class CameraCommunicationClass
{
public:
    static CameraCommunicationClass *instance();

    bool loadLibraries();
    bool unloadLibraries();
    bool initLibrary();
    bool deInitLibrary();
    // True when the library reports the light on.
    bool getLedStatus();
    bool getAutoFocusStatus();
    // The one-shot auto-focus.
    bool setAutoFocus();

    bool isLoaded() const;

private:
    CameraCommunicationClass() = default;

    bool unloadLocked();
    bool getAutoFocusStatusLocked();
    void *function(const char *name) const;

    platform::ModuleHandle filterModule = nullptr;
    platform::ModuleHandle controlModule = nullptr;
    mutable std::shared_mutex modulesLock;
};

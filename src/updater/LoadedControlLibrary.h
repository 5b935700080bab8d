#pragma once

#include "ControlLibrary.h"
#include "platform/Modules.h"

#include <string>

namespace updater {

// The camera control library, loaded at run time from the program's folder
// (then where the platform layer's loader looks), as the watchdog loads it. Linked at
// load time, a missing library would stop the program in the system's
// loader before it could say a word of its own.
class LoadedControlLibrary final : public ControlLibrary
{
public:
    explicit LoadedControlLibrary(platform::Modules &modules);
    ~LoadedControlLibrary() override;
    LoadedControlLibrary(const LoadedControlLibrary &) = delete;
    LoadedControlLibrary &operator=(const LoadedControlLibrary &) = delete;

    // Loads the library and finds every function the updater calls. False
    // with `problem` set to a line for the user when it cannot; the other
    // operations may be called only after it succeeded.
    bool load(std::string &problem);

    int initLibrary() override;
    int deInitLibrary() override;
    int getFirmwareVersionInfo(ZentraWideChar *buffer) override;
    int firmwareBackup(unsigned char *buffer, int size, int *written, int reserved) override;
    int firmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress) override;

private:
    template <typename Function>
    bool find(const char *name, Function *&function, std::string &problem);

    platform::Modules &modules;
    platform::ModuleHandle module = nullptr;
    decltype(&InitLibrary) initLibraryFunction = nullptr;
    decltype(&DeInitLibrary) deInitLibraryFunction = nullptr;
    decltype(&GetFirmwareVersionInfo) getFirmwareVersionInfoFunction = nullptr;
    decltype(&FirmwareBackup) firmwareBackupFunction = nullptr;
    decltype(&FirmwareUpdate) firmwareUpdateFunction = nullptr;
};

} // namespace updater

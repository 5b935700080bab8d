#pragma once

#include "ZentraSw.h"

namespace updater {

// The control library's functions that the updater calls, behind an
// interface so that the flow can be tested without the library.
class ControlLibrary
{
public:
    virtual ~ControlLibrary() = default;

    virtual int initLibrary() = 0;
    virtual int deInitLibrary() = 0;
    // Fills a buffer of ZENTRA_VERSION_TEXT_CAPACITY wide characters.
    virtual int getFirmwareVersionInfo(ZentraWideChar *buffer) = 0;
    virtual int firmwareBackup(unsigned char *buffer, int size, int *written, int reserved) = 0;
    virtual int firmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress) = 0;
};

// The library the program is linked with.
class LinkedControlLibrary final : public ControlLibrary
{
public:
    int initLibrary() override { return InitLibrary(); }
    int deInitLibrary() override { return DeInitLibrary(); }
    int getFirmwareVersionInfo(ZentraWideChar *buffer) override { return GetFirmwareVersionInfo(buffer); }
    int firmwareBackup(unsigned char *buffer, int size, int *written, int reserved) override
    {
        return FirmwareBackup(buffer, size, written, reserved);
    }
    int firmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress) override
    {
        return FirmwareUpdate(image, size, progress);
    }
};

} // namespace updater

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

} // namespace updater

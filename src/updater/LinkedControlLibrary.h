#pragma once

#include "ControlLibrary.h"

namespace updater {

// The control library the program is linked with. Only the program links
// it, so that tests of the flow need no library.
class LinkedControlLibrary final : public ControlLibrary
{
public:
    int initLibrary() override;
    int deInitLibrary() override;
    int getFirmwareVersionInfo(ZentraWideChar *buffer) override;
    int firmwareBackup(unsigned char *buffer, int size, int *written, int reserved) override;
    int firmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress) override;
};

} // namespace updater

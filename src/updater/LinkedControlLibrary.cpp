#include "LinkedControlLibrary.h"

namespace updater {

int LinkedControlLibrary::initLibrary()
{
    return InitLibrary();
}

int LinkedControlLibrary::deInitLibrary()
{
    return DeInitLibrary();
}

int LinkedControlLibrary::getFirmwareVersionInfo(ZentraWideChar *buffer)
{
    return GetFirmwareVersionInfo(buffer);
}

int LinkedControlLibrary::firmwareBackup(unsigned char *buffer, int size, int *written, int reserved)
{
    return FirmwareBackup(buffer, size, written, reserved);
}

int LinkedControlLibrary::firmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress)
{
    return FirmwareUpdate(image, size, progress);
}

} // namespace updater

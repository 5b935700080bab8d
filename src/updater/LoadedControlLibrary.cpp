#include "LoadedControlLibrary.h"

namespace updater {

namespace {

constexpr const char *LIBRARY = "ZentraSw.dll";

} // namespace

LoadedControlLibrary::LoadedControlLibrary(platform::Modules &loader)
    : modules(loader)
{
}

LoadedControlLibrary::~LoadedControlLibrary()
{
    if (module)
        modules.release(module);
}

template <typename Function>
bool LoadedControlLibrary::find(const char *name, Function *&function, std::string &problem)
{
    function = reinterpret_cast<Function *>(modules.lookup(module, name));
    if (!function)
        problem = "The camera control library " + modules.fileNameFor(LIBRARY) + " has no function " + name;
    return function != nullptr;
}

bool LoadedControlLibrary::load(std::string &problem)
{
    module = modules.load(LIBRARY);
    if (!module) {
        problem = "The camera control library " + modules.fileNameFor(LIBRARY) + " was not found "
                  + modules.searchedPlaces();
        return false;
    }
    return find("InitLibrary", initLibraryFunction, problem)
           && find("DeInitLibrary", deInitLibraryFunction, problem)
           && find("GetFirmwareVersionInfo", getFirmwareVersionInfoFunction, problem)
           && find("FirmwareBackup", firmwareBackupFunction, problem)
           && find("FirmwareUpdate", firmwareUpdateFunction, problem);
}

int LoadedControlLibrary::initLibrary()
{
    return initLibraryFunction();
}

int LoadedControlLibrary::deInitLibrary()
{
    return deInitLibraryFunction();
}

int LoadedControlLibrary::getFirmwareVersionInfo(ZentraWideChar *buffer)
{
    return getFirmwareVersionInfoFunction(buffer);
}

int LoadedControlLibrary::firmwareBackup(unsigned char *buffer, int size, int *written, int reserved)
{
    return firmwareBackupFunction(buffer, size, written, reserved);
}

int LoadedControlLibrary::firmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress)
{
    return firmwareUpdateFunction(image, size, progress);
}

} // namespace updater

#include "CameraCommunicationClass.h"

#include "platform/Platform.h"

#include <QDebug>

namespace {

// The library's functions, as it exports them (C linkage, default calling
// convention).
using InitLibraryFunction = int (*)();
using DeInitLibraryFunction = int (*)();
using GetLedStatusFunction = int (*)();
using GetAFStatusFunction = int (*)(int *status);
using AFFreezeControlFunction = int (*)(int mode);

constexpr int SingleAutoFocus = 5;
constexpr int LibraryFailure = -1;
constexpr int FocusStatusFailure = 5;

template<typename Function>
Function as(void *address)
{
    return reinterpret_cast<Function>(address);
}

platform::Modules &modules()
{
    return platform::current().modules();
}

} // namespace

CameraCommunicationClass *CameraCommunicationClass::instance()
{
    static CameraCommunicationClass *binding = new CameraCommunicationClass;
    return binding;
}

void *CameraCommunicationClass::function(const char *name) const
{
    return modules().lookup(controlModule, name);
}

bool CameraCommunicationClass::isLoaded() const
{
    std::shared_lock locker(modulesLock);
    return controlModule != nullptr;
}

bool CameraCommunicationClass::loadLibraries()
{
    std::lock_guard locker(modulesLock);
    if (filterModule || controlModule) {
        // Loaded already (a plug-in after a resume): drop the old references
        // first, so that the module counts stay balanced.
        unloadLocked();
    }
    filterModule = modules().load("tlxuvc.ax");
    if (!filterModule) {
        qDebug() << "library tlxuvc.ax not loaded";
        return false;
    }
    qDebug() << "library tlxuvc.ax after loaded";
    controlModule = modules().load("ZentraSw.dll");
    if (!controlModule) {
        qDebug() << "library ZentraSw not loaded";
        unloadLocked();
        return false;
    }
    return true;
}

bool CameraCommunicationClass::unloadLibraries()
{
    std::lock_guard locker(modulesLock);
    return unloadLocked();
}

bool CameraCommunicationClass::unloadLocked()
{
    bool result = false;
    if (filterModule) {
        if (modules().release(filterModule)) {
            filterModule = nullptr;
            result = true;
        } else {
            qDebug() << "ax lib remove failed";
        }
    }
    if (controlModule) {
        if (modules().release(controlModule)) {
            controlModule = nullptr;
            return true;
        }
        qDebug() << "ZentraSw lib remove failed";
        return false;
    }
    return result;
}

bool CameraCommunicationClass::initLibrary()
{
    std::shared_lock locker(modulesLock);
    if (!controlModule)
        return true;
    qDebug() << "library ZentraSw loaded..";
    const auto initialise = as<InitLibraryFunction>(function("InitLibrary"));
    if (!initialise) {
        qDebug() << "can not access the InitLibrary() function";
        return false;
    }
    const int result = initialise();
    qDebug() << "local_InitLibrary() value: " << result;
    if (result != 0)
        return true;
    qDebug() << "can not access the InitLibrary() function";
    return false;
}

bool CameraCommunicationClass::deInitLibrary()
{
    std::shared_lock locker(modulesLock);
    if (!controlModule)
        return false;
    const auto release = as<DeInitLibraryFunction>(function("DeInitLibrary"));
    if (!release) {
        qDebug() << "can not access the DeInitLibrary() function";
        return false;
    }
    const int result = release();
    qDebug() << "DeInitLibrary() function: " << result;
    return result != 0;
}

bool CameraCommunicationClass::getLedStatus()
{
    std::shared_lock locker(modulesLock);
    if (!controlModule)
        return false;
    const auto ledStatus = as<GetLedStatusFunction>(function("GetLedStatus"));
    if (!ledStatus) {
        qDebug() << "can not access the getLedStatus() function";
        return false;
    }
    return ledStatus() == 1;
}

bool CameraCommunicationClass::getAutoFocusStatus()
{
    std::shared_lock locker(modulesLock);
    return getAutoFocusStatusLocked();
}

bool CameraCommunicationClass::getAutoFocusStatusLocked()
{
    if (!controlModule)
        return true;
    int status = 0;
    const auto focusStatus = as<GetAFStatusFunction>(function("GetAFStatus"));
    if (!focusStatus) {
        qDebug() << "can not access the GetAFStatus() function";
        return false;
    }
    const int result = focusStatus(&status);
    qDebug() << "Function rValue: " << result << " => USBComm: Get Focus status: " << status;
    return result != LibraryFailure && result != FocusStatusFailure;
}

bool CameraCommunicationClass::setAutoFocus()
{
    std::shared_lock locker(modulesLock);
    const bool focusStatus = getAutoFocusStatusLocked();
    qDebug() << "<CameraCommunicationClass::setAutoFocus()> GetAutofocus: " << focusStatus;
    if (!controlModule)
        return false;
    qDebug() << "Now Goes for Single Trip Autofocus...";
    const auto freeze = as<AFFreezeControlFunction>(function("AFFreezeControl"));
    if (!freeze) {
        qDebug() << "can not access the AFFreezeControl() function";
        return false;
    }
    const int result = freeze(SingleAutoFocus);
    if (result == LibraryFailure) {
        qDebug() << "AF return value: " << result;
        return false;
    }
    qDebug() << "Af focus set successfully" << result;
    return true;
}

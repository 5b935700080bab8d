#include "FakeControlLibrary.h"

namespace {

extern "C" int fakeInitLibrary()
{
    return FakeControlLibrary::initResult;
}

extern "C" int fakeDeInitLibrary()
{
    return FakeControlLibrary::deInitResult;
}

extern "C" int fakeGetLedStatus()
{
    return FakeControlLibrary::ledResult;
}

extern "C" int fakeGetAFStatus(int *status)
{
    *status = FakeControlLibrary::focusStatusValue;
    return FakeControlLibrary::focusStatusResult;
}

extern "C" int fakeAFFreezeControl(int mode)
{
    ++FakeControlLibrary::freezeCalls;
    FakeControlLibrary::lastFreezeMode = mode;
    return FakeControlLibrary::freezeResult;
}

} // namespace

void FakeControlLibrary::install(fakes::FakeModules &modules)
{
    initResult = 1;
    deInitResult = 1;
    ledResult = 0;
    focusStatusResult = 0;
    focusStatusValue = 3;
    freezeResult = 0;
    freezeCalls = 0;
    lastFreezeMode = 0;
    modules.provide("tlxuvc.ax", {});
    modules.provide("ZentraSw.dll",
                    {{"InitLibrary", reinterpret_cast<void *>(&fakeInitLibrary)},
                     {"DeInitLibrary", reinterpret_cast<void *>(&fakeDeInitLibrary)},
                     {"GetLedStatus", reinterpret_cast<void *>(&fakeGetLedStatus)},
                     {"GetAFStatus", reinterpret_cast<void *>(&fakeGetAFStatus)},
                     {"AFFreezeControl", reinterpret_cast<void *>(&fakeAFFreezeControl)}});
}

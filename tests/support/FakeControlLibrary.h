#pragma once

#include "FakePlatform.h"

#include <atomic>

// The five functions of the camera control library that the watchdog calls, as plain C
// functions whose results the tests set. Provides "ZentraSw.dll" and
// "tlxuvc.ax" to a fake platform's module loader.
struct FakeControlLibrary
{
    static inline std::atomic<int> initResult{1};
    static inline std::atomic<int> deInitResult{1};
    static inline std::atomic<int> ledResult{0};
    static inline std::atomic<int> focusStatusResult{0};
    static inline std::atomic<int> focusStatusValue{3};
    static inline std::atomic<int> freezeResult{0};
    static inline std::atomic<int> freezeCalls{0};
    static inline std::atomic<int> lastFreezeMode{0};

    // Resets every result and provides both modules with all functions.
    static void install(fakes::FakeModules &modules);
};

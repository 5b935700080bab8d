#pragma once

#include "platform/Modules.h"

namespace platform::linux_backend {

// Modules through dlopen. "ZentraSw.dll" is libZentraSw.so and "tlxuvc.ax"
// keeps its name; both are looked for in the program's directory first and
// then wherever the dynamic loader looks.
class DlModules final : public Modules
{
public:
    ModuleHandle load(const std::string &name) override;
    void *lookup(ModuleHandle module, const char *function) override;
    bool release(ModuleHandle module) override;
    std::string fileNameFor(const std::string &name) const override { return fileName(name); }

    // The file name that stands for a Windows module name.
    static std::string fileName(const std::string &name);
};

} // namespace platform::linux_backend

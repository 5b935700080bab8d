#pragma once

#include "platform/Modules.h"

namespace platform::win32_backend {

// Modules through the Windows loader. Its standard search begins in the
// running program's folder, where the outside modules are delivered.
class Win32Modules final : public Modules
{
public:
    ModuleHandle load(const std::string &name) override;
    void *lookup(ModuleHandle module, const char *function) override;
    bool release(ModuleHandle module) override;
};

} // namespace platform::win32_backend

#pragma once

#include <memory>

namespace platform {

// The updater's view of the outside filter module "tlxuvc.ax": whether its
// COM class can be created, and the commands that register it and undo the
// registration. The commands' results are not examined: only a second
// check tells whether registering helped.
class FilterRegistration
{
public:
    virtual ~FilterRegistration() = default;

    // The COM session around everything else (CoInitialize/CoUninitialize).
    virtual void openSession() = 0;
    virtual void closeSession() = 0;

    // Whether the filter class can be created in-process right now.
    virtual bool filterInPlace() = 0;

    virtual void registerFilter() = 0;
    virtual void unregisterFilter() = 0;
};

// The backend of this build.
std::unique_ptr<FilterRegistration> createFilterRegistration();

} // namespace platform

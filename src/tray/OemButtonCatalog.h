#pragma once

#include "TrayTexts.h"

#include <cstdint>
#include <optional>

// What the OEM button ids mean to the watchdog and its viewer: the ones a
// panel can show with an icon and a name. Any other id is shown by its number.
class OemButtonCatalog
{
public:
    struct Meaning
    {
        std::int32_t id;
        const char *icon; // name of the icon in the program's resources
        TrayTexts::Key name;
    };

    static std::optional<Meaning> find(std::int32_t id);
};

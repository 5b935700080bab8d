#pragma once

#include <cstdint>
#include <limits>

// Hands out menu item ids, 1, 2, 3, ... for the life of the process, as a
// real driver does: an id from an earlier connection, or of another client,
// never names a new item. Shared by the registries of all clients.
class MenuItemIds
{
public:
    std::int32_t take()
    {
        const std::int32_t id = next;
        // Ids stay positive; -1 is the protocol's "rejected".
        next = next == std::numeric_limits<std::int32_t>::max() ? 1 : next + 1;
        return id;
    }
    std::int32_t peek() const { return next; }

private:
    std::int32_t next = 1;
};

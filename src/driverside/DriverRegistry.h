#pragma once

#include "MenuItemIds.h"

#include <cstdint>
#include <string>
#include <vector>

// What the driver holds for one client: the menu items it added (with the
// ids it gave them) and the OEM buttons in registration order, each id once.
class DriverRegistry
{
public:
    struct MenuItem
    {
        std::int32_t id = 0;
        std::u16string caption;
        std::uint8_t flag = 0;
    };

    explicit DriverRegistry(MenuItemIds &ids) : ids(ids) {}

    // False when the client holds that button already: an id sent again
    // takes no further place.
    bool addButton(std::int32_t buttonId);
    bool hasButton(std::int32_t buttonId) const;
    std::int32_t addMenuItem(std::u16string caption, std::uint8_t flag);
    bool removeMenuItem(std::int32_t itemId);
    // The client goes away: its items and buttons go with it.
    void forgetClientState();

    // The most recently added item still held: the one a click is about.
    const MenuItem *newestItem() const;
    const std::vector<MenuItem> &menuItems() const { return items; }
    const std::vector<std::int32_t> &buttons() const { return registeredButtons; }

private:
    MenuItemIds &ids;
    std::vector<MenuItem> items; // oldest first
    std::vector<std::int32_t> registeredButtons;
};

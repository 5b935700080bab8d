#include "DriverRegistry.h"

#include <algorithm>

std::int32_t DriverRegistry::addMenuItem(std::u16string caption, std::uint8_t flag)
{
    const std::int32_t id = ids.take();
    items.push_back({id, std::move(caption), flag});
    return id;
}

bool DriverRegistry::addButton(std::int32_t buttonId)
{
    if (hasButton(buttonId))
        return false;
    registeredButtons.push_back(buttonId);
    return true;
}

bool DriverRegistry::hasButton(std::int32_t buttonId) const
{
    return std::find(registeredButtons.begin(), registeredButtons.end(), buttonId) != registeredButtons.end();
}

bool DriverRegistry::removeMenuItem(std::int32_t itemId)
{
    return std::erase_if(items, [itemId](const MenuItem &item) { return item.id == itemId; }) > 0;
}

void DriverRegistry::forgetClientState()
{
    items.clear();
    registeredButtons.clear();
}

const DriverRegistry::MenuItem *DriverRegistry::newestItem() const
{
    return items.empty() ? nullptr : &items.back();
}

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the driver holds for its client: the menu items it added (with the
// ids it gave them) and the OEM buttons in registration order. Item ids count
// up for the life of the process, as a real driver's would, so an id from an
// earlier connection never names a new item.
class DriverRegistry
{
public:
    struct MenuItem
    {
        std::int32_t id = 0;
        std::u16string caption;
        std::uint8_t flag = 0;
    };

    void addButton(std::int32_t buttonId) { registeredButtons.push_back(buttonId); }
    std::int32_t addMenuItem(std::u16string caption, std::uint8_t flag);
    bool removeMenuItem(std::int32_t itemId);
    // The client goes away: its items and buttons go with it.
    void forgetClientState();

    // The most recently added item still held: the one a click is about.
    const MenuItem *newestItem() const;
    const std::vector<MenuItem> &menuItems() const { return items; }
    const std::vector<std::int32_t> &buttons() const { return registeredButtons; }
    std::int32_t nextItemId() const { return nextId; }

private:
    std::vector<MenuItem> items; // oldest first
    std::vector<std::int32_t> registeredButtons;
    std::int32_t nextId = 1;
};

// UTF-16 text as UTF-8; a lone surrogate becomes U+FFFD.
std::string toUtf8(const std::u16string &text);

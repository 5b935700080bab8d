#include "DriverRegistry.h"

#include <algorithm>

std::int32_t DriverRegistry::addMenuItem(std::u16string caption, std::uint8_t flag)
{
    const std::int32_t id = nextId++;
    items.push_back({id, std::move(caption), flag});
    return id;
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

std::string toUtf8(const std::u16string &text)
{
    std::string out;
    auto append = [&out](char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            append(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (high || low) {
            append(0xFFFD);
        } else {
            append(unit);
        }
    }
    return out;
}

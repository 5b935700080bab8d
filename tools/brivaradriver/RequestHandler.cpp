#include "RequestHandler.h"

#include "Text.h"
#include "common/LittleEndian.h"
#include "driverapi/MenuItemRecord.h"

namespace {

constexpr std::int32_t Rejected = -1;
constexpr std::size_t ButtonPayloadSize = 4;

std::string lengthText(const RequestStreamParser::Message &message, std::size_t needed)
{
    std::string text = " length=" + std::to_string(message.header.length);
    const auto length = static_cast<std::size_t>(message.header.length);
    if (length > needed)
        text += " extra=" + std::to_string(length - needed);
    return text;
}

} // namespace

const char *requestTypeName(std::uint16_t type)
{
    switch (type) {
    case ADD_OEM_BUTTON:
        return "ADD_OEM_BUTTON";
    case ADD_MENU_ITEM:
        return "ADD_MENU_ITEM";
    case REMOVE_MENU_ITEM:
        return "REMOVE_MENU_ITEM";
    default:
        return "UNKNOWN";
    }
}

RequestHandler::Outcome RequestHandler::handle(const RequestStreamParser::Message &message, bool reject)
{
    const std::uint16_t type = message.header.type;
    const std::string name = requestTypeName(type);
    const std::size_t needed = type == ADD_OEM_BUTTON ? ButtonPayloadSize : MenuItemRecord::Size;

    if (type != ADD_OEM_BUTTON && type != ADD_MENU_ITEM && type != REMOVE_MENU_ITEM)
        return {name + " type=" + std::to_string(type) + " length=" + std::to_string(message.header.length)
                    + " skipped",
                std::nullopt};

    if (message.payload.size() < needed)
        return {name + " length=" + std::to_string(message.header.length) + " malformed need="
                    + std::to_string(needed),
                Rejected};

    if (type == ADD_OEM_BUTTON) {
        const std::int32_t buttonId = wire::getInt32(message.payload.data());
        if (!reject)
            registry.addButton(buttonId);
        return {name + lengthText(message, needed) + " buttonId=" + std::to_string(buttonId),
                reject ? Rejected : buttonId};
    }

    const MenuItemRecord record = MenuItemRecord::decode(message.payload.data());
    const std::string description = name + lengthText(message, needed) + " flag=" + std::to_string(record.flag)
                                    + " itemId=" + std::to_string(record.itemId)
                                    + " caption=" + text::quoted(toUtf8(record.caption));
    if (reject)
        return {description, Rejected};
    if (type == ADD_MENU_ITEM)
        return {description, registry.addMenuItem(record.caption, record.flag)};
    return {description, registry.removeMenuItem(record.itemId) ? record.itemId : Rejected};
}

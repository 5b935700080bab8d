#include "RequestHandler.h"

#include "protocol/LittleEndian.h"

namespace {
constexpr std::size_t ButtonPayloadSize = 4;
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
    Outcome outcome;
    if (type != ADD_OEM_BUTTON && type != ADD_MENU_ITEM && type != REMOVE_MENU_ITEM)
        return outcome;

    outcome.needed = type == ADD_OEM_BUTTON ? ButtonPayloadSize : MenuItemRecord::Size;
    if (message.payload.size() < outcome.needed) {
        outcome.kind = Kind::Malformed;
        outcome.answer = Rejected;
        return outcome;
    }

    if (type == ADD_OEM_BUTTON) {
        outcome.kind = Kind::OemButton;
        outcome.buttonId = wire::getInt32(message.payload.data());
        outcome.changed = !reject && registry.addButton(outcome.buttonId);
        outcome.answer = reject ? Rejected : outcome.buttonId;
        return outcome;
    }

    outcome.record = MenuItemRecord::decode(message.payload.data());
    if (type == ADD_MENU_ITEM) {
        outcome.kind = Kind::AddMenuItem;
        outcome.answer = reject ? Rejected : registry.addMenuItem(outcome.record.caption, outcome.record.flag);
        outcome.changed = !reject;
    } else {
        outcome.kind = Kind::RemoveMenuItem;
        outcome.changed = !reject && registry.removeMenuItem(outcome.record.itemId);
        outcome.answer = outcome.changed ? outcome.record.itemId : Rejected;
    }
    return outcome;
}

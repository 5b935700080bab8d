#pragma once

#include "DriverRegistry.h"
#include "RequestStreamParser.h"
#include "protocol/MenuItemRecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// Carries out one request on a client's registry, the way the driver does,
// and says what it was and what to answer.
class RequestHandler
{
public:
    enum class Kind {
        OemButton,      // ADD_OEM_BUTTON
        AddMenuItem,    // ADD_MENU_ITEM
        RemoveMenuItem, // REMOVE_MENU_ITEM
        Malformed,      // a known type whose payload is too short to read
        Unknown,        // a type the driver does not know: skipped
    };

    struct Outcome
    {
        Kind kind = Kind::Unknown;
        std::int32_t buttonId = 0; // OemButton
        MenuItemRecord record;     // AddMenuItem, RemoveMenuItem
        std::size_t needed = 0;    // payload bytes a known type carries
        // The REQUEST_RESULT value: -1 for a refusal; none for an unknown
        // type, which gets no answer.
        std::optional<std::int32_t> answer;
        // The registry took the button or item, or let the item go.
        bool changed = false;
    };

    static constexpr std::int32_t Rejected = -1;

    explicit RequestHandler(DriverRegistry &registry) : registry(registry) {}

    // With `reject`, every known request is refused (answer -1) and nothing
    // changes.
    Outcome handle(const RequestStreamParser::Message &message, bool reject);

private:
    DriverRegistry &registry;
};

const char *requestTypeName(std::uint16_t type);

#pragma once

#include "DriverRegistry.h"
#include "RequestStreamParser.h"

#include <cstdint>
#include <optional>
#include <string>

// Carries out one request on the registry, the way the driver does, and says
// what to answer.
class RequestHandler
{
public:
    struct Outcome
    {
        // For the event line: "ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"...\"".
        std::string description;
        // The REQUEST_RESULT value; none for a type the driver does not know.
        std::optional<std::int32_t> answer;
    };

    explicit RequestHandler(DriverRegistry &registry) : registry(registry) {}

    // With `reject`, every known request is refused (answer -1) and nothing
    // changes.
    Outcome handle(const RequestStreamParser::Message &message, bool reject);

private:
    DriverRegistry &registry;
};

const char *requestTypeName(std::uint16_t type);

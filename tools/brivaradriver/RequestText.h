#pragma once

#include "RequestHandler.h"
#include "RequestStreamParser.h"

#include <string>

// The stand-in's event line for a request it handled:
// "ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"...\"".
std::string describeRequest(const RequestStreamParser::Message &message, const RequestHandler::Outcome &outcome);

// UTF-16 text as UTF-8; a lone surrogate becomes U+FFFD.
std::string toUtf8(const std::u16string &text);

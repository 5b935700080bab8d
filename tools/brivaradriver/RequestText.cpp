#include "RequestText.h"

#include "Text.h"

namespace {

std::string lengthText(const RequestStreamParser::Message &message, std::size_t needed)
{
    std::string text = " length=" + std::to_string(message.header.length);
    const auto length = static_cast<std::size_t>(message.header.length);
    if (length > needed)
        text += " extra=" + std::to_string(length - needed);
    return text;
}

} // namespace

std::string describeRequest(const RequestStreamParser::Message &message, const RequestHandler::Outcome &outcome)
{
    const std::string name = requestTypeName(message.header.type);
    switch (outcome.kind) {
    case RequestHandler::Kind::Unknown:
        return name + " type=" + std::to_string(message.header.type) + " length="
               + std::to_string(message.header.length) + " skipped";
    case RequestHandler::Kind::Malformed:
        return name + " length=" + std::to_string(message.header.length) + " malformed need="
               + std::to_string(outcome.needed);
    case RequestHandler::Kind::OemButton:
        return name + lengthText(message, outcome.needed) + " buttonId=" + std::to_string(outcome.buttonId);
    case RequestHandler::Kind::AddMenuItem:
    case RequestHandler::Kind::RemoveMenuItem:
        break;
    }
    return name + lengthText(message, outcome.needed) + " flag=" + std::to_string(outcome.record.flag)
           + " itemId=" + std::to_string(outcome.record.itemId)
           + " caption=" + text::quoted(toUtf8(outcome.record.caption));
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

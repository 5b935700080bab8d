#include "VersionText.h"

namespace updater {

namespace {

bool isLeadSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isTrailSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::string utf8(char32_t code)
{
    std::string bytes;
    if (code < 0x80) {
        bytes += static_cast<char>(code);
    } else if (code < 0x800) {
        bytes += static_cast<char>(0xC0 | (code >> 6));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        bytes += static_cast<char>(0xE0 | (code >> 12));
        bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (code >> 18));
        bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    }
    return bytes;
}

} // namespace

std::string narrowVersionText(std::u16string_view wide, std::size_t byteLimit)
{
    std::string text;
    for (std::size_t i = 0; i < wide.size() && wide[i] != 0; ++i) {
        char32_t code = wide[i];
        if (isLeadSurrogate(wide[i]) && i + 1 < wide.size() && isTrailSurrogate(wide[i + 1])) {
            code = 0x10000 + ((static_cast<char32_t>(wide[i] - 0xD800) << 10) | (wide[i + 1] - 0xDC00));
            ++i;
        } else if (isLeadSurrogate(wide[i]) || isTrailSurrogate(wide[i])) {
            code = '?';
        }
        const std::string bytes = utf8(code);
        if (text.size() + bytes.size() > byteLimit)
            break;
        text += bytes;
    }
    return text;
}

} // namespace updater

#include "Buttons.h"

#include <charconv>

namespace camera_standin {

const std::array<Button, 9> &allButtons()
{
    static const std::array<Button, 9> buttons{{
        {"rotate", 139, 10, 0x01},
        {"162", 162, 10, 0x02},
        {"164", 164, 10, 0x04},
        {"onoff", 93, 10, 0x08},
        {"focus", 94, 10, 0x10},
        {"light", 116, 10, 0x20},
        {"140", 140, 10, 0x40},
        {"163", 163, 10, 0x80},
        {"141", 141, 9, 0x01},
    }};
    return buttons;
}

std::optional<Button> findButton(const std::string &text)
{
    const auto parse = [](const std::string &digits, int &value) {
        const char *end = digits.data() + digits.size();
        const auto result = std::from_chars(digits.data(), end, value);
        return !digits.empty() && result.ec == std::errc() && result.ptr == end;
    };
    const std::size_t dot = text.find('.');
    int byte = -1;
    int bit = -1;
    int code = -1;
    if (dot != std::string::npos) {
        if (!parse(text.substr(0, dot), byte) || !parse(text.substr(dot + 1), bit) || bit < 0 || bit > 7)
            return std::nullopt;
    } else if (!parse(text, code)) {
        code = -1;
    }
    for (const Button &button : allButtons()) {
        if (text == button.name || code == button.code
            || (static_cast<std::size_t>(byte) == button.byte && (1 << bit) == button.mask))
            return button;
    }
    return std::nullopt;
}

} // namespace camera_standin

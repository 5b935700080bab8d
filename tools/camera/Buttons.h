#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace camera_standin {

// The camera's nine buttons: where each sits in an input report (Windows
// layout, byte 0 is the report ID) and the command code the watchdog makes
// of it.
struct Button
{
    const char *name;     // "light", or the code for buttons without a name
    int code;             // 116
    std::size_t byte;     // 10
    std::uint8_t mask;    // 0x20
};

const std::array<Button, 9> &allButtons();

// A button by name ("light"), command code ("116") or position ("10.5":
// byte 10, bit 5).
std::optional<Button> findButton(const std::string &text);

} // namespace camera_standin

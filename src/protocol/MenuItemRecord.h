#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The 144-byte payload of the menu item requests.
struct MenuItemRecord
{
    static constexpr std::size_t Size = 144;
    static constexpr std::size_t CaptionUnits = 65;     // terminator included
    static constexpr std::size_t MaxCaptionLength = 64; // text units
    using Bytes = std::array<std::uint8_t, Size>;

    std::uint8_t flag = 1;
    std::u16string caption;
    std::int32_t reserved1 = 0;
    std::int32_t reserved2 = 0;
    std::int32_t itemId = 0; // 0 for an add; the item to remove for a remove

    // The caption is written as UTF-16LE and always terminated: a longer text
    // is cut to 64 units (63 when the cut would split a surrogate pair).
    Bytes encode() const;
    // Reads the caption up to its terminator, or all 65 units if it has none.
    static MenuItemRecord decode(const std::uint8_t *at);

    // The caption as it goes on the wire.
    static std::u16string fittedCaption(const std::u16string &caption);
};

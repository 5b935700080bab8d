#pragma once

// Identity of the outside filter's COM class and of the interface the
// updater asks it for. Kept as plain numbers so that the header needs no
// system headers; the Windows code turns them into GUIDs.

#include <cstdint>

namespace tlxuvc {

struct ClassId
{
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// {5C3E91A2-7D04-4B6F-9E21-3A8D0F6B2C17}
inline constexpr ClassId FILTER_CLASS = {0x5C3E91A2, 0x7D04, 0x4B6F,
                                         {0x9E, 0x21, 0x3A, 0x8D, 0x0F, 0x6B, 0x2C, 0x17}};
// {5C3E91A3-7D04-4B6F-9E21-3A8D0F6B2C17}
inline constexpr ClassId FILTER_INTERFACE = {0x5C3E91A3, 0x7D04, 0x4B6F,
                                             {0x9E, 0x21, 0x3A, 0x8D, 0x0F, 0x6B, 0x2C, 0x17}};

inline constexpr const char *FILTER_CLASS_TEXT = "{5C3E91A2-7D04-4B6F-9E21-3A8D0F6B2C17}";

} // namespace tlxuvc

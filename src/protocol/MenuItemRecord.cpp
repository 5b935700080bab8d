#include "MenuItemRecord.h"

#include "protocol/LittleEndian.h"

namespace {
constexpr std::size_t FlagOffset = 0;
constexpr std::size_t CaptionOffset = 2; // byte 1 is padding, sent as zero
constexpr std::size_t Reserved1Offset = 132;
constexpr std::size_t Reserved2Offset = 136;
constexpr std::size_t ItemIdOffset = 140;
static_assert(CaptionOffset + 2 * MenuItemRecord::CaptionUnits == Reserved1Offset);
static_assert(ItemIdOffset + 4 == MenuItemRecord::Size);

bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
} // namespace

std::u16string MenuItemRecord::fittedCaption(const std::u16string &caption)
{
    std::u16string text = caption.substr(0, caption.find(u'\0'));
    if (text.size() > MaxCaptionLength) {
        text.resize(MaxCaptionLength);
        if (isHighSurrogate(text.back()))
            text.pop_back();
    }
    return text;
}

MenuItemRecord::Bytes MenuItemRecord::encode() const
{
    Bytes bytes{};
    bytes[FlagOffset] = flag;
    const std::u16string text = fittedCaption(caption);
    for (std::size_t i = 0; i < text.size(); ++i)
        wire::putUInt16(bytes.data() + CaptionOffset + 2 * i, text[i]);
    wire::putInt32(bytes.data() + Reserved1Offset, reserved1);
    wire::putInt32(bytes.data() + Reserved2Offset, reserved2);
    wire::putInt32(bytes.data() + ItemIdOffset, itemId);
    return bytes;
}

MenuItemRecord MenuItemRecord::decode(const std::uint8_t *at)
{
    MenuItemRecord record;
    record.flag = at[FlagOffset];
    for (std::size_t i = 0; i < CaptionUnits; ++i) {
        const char16_t unit = wire::getUInt16(at + CaptionOffset + 2 * i);
        if (unit == 0)
            break;
        record.caption.push_back(unit);
    }
    record.reserved1 = wire::getInt32(at + Reserved1Offset);
    record.reserved2 = wire::getInt32(at + Reserved2Offset);
    record.itemId = wire::getInt32(at + ItemIdOffset);
    return record;
}

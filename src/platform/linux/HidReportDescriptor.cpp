#include "HidReportDescriptor.h"

#include <array>
#include <map>
#include <vector>

namespace platform::linux_backend {

namespace {

// Item types and tags of the HID 1.11 standard, section 6.2.2.
enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2 };
enum MainTag : std::uint8_t { Input = 0x8, Output = 0x9 };
enum GlobalTag : std::uint8_t { ReportSize = 0x7, ReportId = 0x8, ReportCount = 0x9, Push = 0xA, Pop = 0xB };
constexpr std::uint8_t LongItemPrefix = 0xFE;

// No report can be longer than hidraw's buffer; anything larger is garbage.
constexpr std::uint64_t MaxReportBits = 16384ULL * 8;
constexpr std::size_t MaxPushDepth = 32;

struct GlobalState
{
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

std::size_t largestReport(const std::map<std::uint8_t, std::uint64_t> &bitsPerReport)
{
    std::uint64_t largest = 0;
    for (const auto &[id, bits] : bitsPerReport)
        largest = std::max(largest, (bits + 7) / 8);
    return static_cast<std::size_t>(largest);
}

} // namespace

std::optional<HidReportLayout> parseReportDescriptor(const std::uint8_t *data, std::size_t size)
{
    if (!data && size != 0)
        return std::nullopt;
    HidReportLayout layout;
    GlobalState state;
    std::vector<GlobalState> stack;
    std::map<std::uint8_t, std::uint64_t> inputBits;
    std::map<std::uint8_t, std::uint64_t> outputBits;

    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = data[pos];
        if (prefix == LongItemPrefix) {
            // Long items carry nothing that sizes a report; skip them.
            if (pos + 2 >= size)
                return std::nullopt;
            const std::size_t next = pos + 3 + data[pos + 1];
            if (next > size)
                return std::nullopt;
            pos = next;
            continue;
        }
        static constexpr std::array<std::size_t, 4> dataSizes{0, 1, 2, 4};
        const std::size_t dataSize = dataSizes[prefix & 0x3];
        const std::uint8_t type = (prefix >> 2) & 0x3;
        const std::uint8_t tag = (prefix >> 4) & 0xF;
        if (pos + 1 + dataSize > size)
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i)
            value |= static_cast<std::uint32_t>(data[pos + 1 + i]) << (8 * i);
        pos += 1 + dataSize;

        if (type == Main && (tag == Input || tag == Output)) {
            auto &bits = (tag == Input ? inputBits : outputBits)[state.reportId];
            bits += static_cast<std::uint64_t>(state.reportSize) * state.reportCount;
            if (bits > MaxReportBits)
                return std::nullopt;
        } else if (type == Global) {
            switch (tag) {
            case ReportSize:
                state.reportSize = value;
                break;
            case ReportCount:
                state.reportCount = value;
                break;
            case ReportId:
                if (value == 0 || value > 0xFF)
                    return std::nullopt;
                state.reportId = static_cast<std::uint8_t>(value);
                layout.usesReportIds = true;
                break;
            case Push:
                if (stack.size() >= MaxPushDepth)
                    return std::nullopt;
                stack.push_back(state);
                break;
            case Pop:
                if (stack.empty())
                    return std::nullopt;
                state = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
        }
    }
    layout.largestInputReport = largestReport(inputBits);
    layout.largestOutputReport = largestReport(outputBits);
    return layout;
}

} // namespace platform::linux_backend

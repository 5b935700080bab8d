#include "MjpegFrames.h"

#include "TestPattern.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace camera_standin {

namespace {

constexpr int Quality = 85;
constexpr int BlockRow = 8; // 4:2:2: blocks of 16x8 pixels

std::uint8_t clampByte(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// A faint grain, the same for every frame, so the picture compresses like a
// photographed page and not like flat colour.
int grain(int x, int y)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393U + static_cast<std::uint32_t>(y) * 668265263U;
    h = (h ^ (h >> 13)) * 1274126177U;
    return static_cast<int>((h >> 16) % 17) - 8;
}

void fill(std::uint8_t *rgb, int width, int left, int top, int right, int bottom, const TestPattern::Rgb &colour,
          int brightness)
{
    for (int y = top; y < bottom; ++y) {
        std::uint8_t *pixel = rgb + (static_cast<std::size_t>(y) * width + left) * 3;
        for (int x = left; x < right; ++x, pixel += 3) {
            const int offset = brightness + grain(x, y);
            pixel[0] = clampByte(colour.red + offset);
            pixel[1] = clampByte(colour.green + offset);
            pixel[2] = clampByte(colour.blue + offset);
        }
    }
}

} // namespace

MjpegFrames::MjpegFrames(int width, int height, int brightness)
    : frameWidth(width), frameHeight(height), brightnessOffset(brightness),
      picture(static_cast<std::size_t>(width) * height * 3)
{
    // One restart interval per row of blocks (read by tjCompress2 itself).
    ::setenv("TJ_RESTART", "1", 0);
    compressor = tjInitCompress();
    if (!compressor || width % 16 != 0 || height % BlockRow != 0)
        return;
    const int barsBottom = height * 3 / 4;
    for (int bar = 0; bar < TestPattern::BarCount; ++bar)
        fill(picture.data(), width, width * bar / TestPattern::BarCount, 0, width * (bar + 1) / TestPattern::BarCount,
             barsBottom, TestPattern::barColour(bar), brightness);
    fill(picture.data(), width, 0, barsBottom, width, height, TestPattern::BandColour, brightness);

    // The counter's blocks, as TestPattern places them, within whole rows of blocks.
    const int bandHeight = height - barsBottom;
    stripTop = (barsBottom + bandHeight / 4) / BlockRow * BlockRow;
    const int stripBottom = std::min(height, (height - bandHeight / 4 + BlockRow - 1) / BlockRow * BlockRow);
    stripRows = stripBottom - stripTop;

    std::optional<Encoded> whole = encode(picture.data(), height);
    if (!whole || whole->rows.size() != static_cast<std::size_t>(height / BlockRow))
        return;
    header = std::move(whole->header);
    rows = std::move(whole->rows);
    baseBytes = header.size() + 2;
    for (const auto &row : rows)
        baseBytes += row.size() + 2;
}

MjpegFrames::~MjpegFrames()
{
    if (compressor)
        tjDestroy(compressor);
}

std::size_t MjpegFrames::largestFrame() const
{
    // The counter's white blocks cost more than the dark band they replace.
    return (baseBytes + static_cast<std::size_t>(frameWidth) * stripRows / 4 + 4095) / 4096 * 4096;
}

std::optional<MjpegFrames::Encoded> MjpegFrames::encode(const std::uint8_t *rgb, int rowCount) const
{
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(compressor, rgb, frameWidth, frameWidth * 3, rowCount, TJPF_RGB, &jpeg, &size, TJSAMP_422, Quality,
                    0) != 0) {
        tjFree(jpeg);
        return std::nullopt;
    }
    Encoded encoded;
    std::size_t at = 2;
    encoded.header.assign(jpeg, jpeg + 2);
    bool scan = false;
    // Marker segments up to the scan; DHT left out, as UVC cameras do.
    while (!scan && at + 4 <= size) {
        if (jpeg[at] != 0xFF)
            break;
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = (std::size_t(jpeg[at + 2]) << 8) | jpeg[at + 3];
        if (at + 2 + length > size)
            break;
        if (marker != 0xC4)
            encoded.header.insert(encoded.header.end(), jpeg + at, jpeg + at + 2 + length);
        scan = marker == 0xDA;
        at += 2 + length;
    }
    if (!scan) {
        tjFree(jpeg);
        return std::nullopt;
    }
    // Entropy-coded data: a 0xFF byte of data is followed by 0x00, so any
    // other byte after 0xFF is a marker (a restart, or the end).
    std::vector<std::uint8_t> row;
    for (; at < size; ++at) {
        if (jpeg[at] == 0xFF && at + 1 < size && jpeg[at + 1] != 0x00) {
            encoded.rows.push_back(std::move(row));
            row.clear();
            if (jpeg[at + 1] == 0xD9)
                break;
            ++at;
            continue;
        }
        row.push_back(jpeg[at]);
    }
    tjFree(jpeg);
    return encoded;
}

std::vector<std::uint8_t> MjpegFrames::frame(std::uint32_t frameNumber) const
{
    std::vector<std::uint8_t> out;
    if (!valid())
        return out;
    // The strip with the counter drawn in, encoded on its own: its rows are
    // independent segments, which replace the picture's.
    std::vector<std::uint8_t> strip(picture.begin() + static_cast<std::ptrdiff_t>(stripTop) * frameWidth * 3,
                                    picture.begin() + static_cast<std::ptrdiff_t>(stripTop + stripRows) * frameWidth * 3);
    const int bandTop = frameHeight * 3 / 4;
    const int bandHeight = frameHeight - bandTop;
    const int top = bandTop + bandHeight / 4 - stripTop;
    const int bottom = frameHeight - bandHeight / 4 - stripTop;
    const int cell = frameWidth / (TestPattern::CounterBits + 2);
    static const TestPattern::Rgb White{255, 255, 255};
    static const TestPattern::Rgb Black{0, 0, 0};
    for (int bit = 0; bit < TestPattern::CounterBits; ++bit) {
        const bool set = (frameNumber >> (TestPattern::CounterBits - 1 - bit)) & 1U;
        const int left = cell * (bit + 1);
        fill(strip.data(), frameWidth, left + cell / 8, top, left + cell - cell / 8, bottom, set ? White : Black,
             brightnessOffset);
    }
    const std::optional<Encoded> counter = encode(strip.data(), stripRows);
    const std::size_t first = static_cast<std::size_t>(stripTop / BlockRow);
    if (!counter || counter->rows.size() != static_cast<std::size_t>(stripRows / BlockRow))
        return out;
    out.reserve(largestFrame());
    out = header;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool fromStrip = i >= first && i < first + counter->rows.size();
        const std::vector<std::uint8_t> &row = fromStrip ? counter->rows[i - first] : rows[i];
        out.insert(out.end(), row.begin(), row.end());
        out.push_back(0xFF);
        out.push_back(i + 1 < rows.size() ? static_cast<std::uint8_t>(0xD0 + i % 8) : 0xD9);
    }
    return out;
}

bool jpegHasHuffmanTables(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t at = 2; at + 4 <= size && data[at] == 0xFF;) {
        if (data[at + 1] == 0xC4)
            return true;
        if (data[at + 1] == 0xDA)
            return false;
        at += 2 + ((std::size_t(data[at + 2]) << 8) | data[at + 3]);
    }
    return false;
}

} // namespace camera_standin

#include "TestPattern.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace camera_standin {

namespace {

struct Yuv
{
    std::uint8_t y, u, v;
};

Yuv toYuv(const TestPattern::Rgb &rgb)
{
    const int r = rgb.red, g = rgb.green, b = rgb.blue;
    const auto clamp = [](int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); };
    return {clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
            clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
            clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

const std::array<TestPattern::Rgb, TestPattern::BarCount> Bars{{
    {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
    {255, 0, 255}, {255, 0, 0}, {0, 0, 255}, {0, 0, 0},
}};

const TestPattern::Rgb White{255, 255, 255};
const TestPattern::Rgb Black{0, 0, 0};

} // namespace

const TestPattern::Rgb TestPattern::BandColour{48, 48, 48};

const TestPattern::Rgb &TestPattern::barColour(int bar)
{
    return Bars.at(static_cast<std::size_t>(bar));
}

TestPattern::TestPattern(int width, int height)
    : frameWidth(width & ~1), frameHeight(height),
      base(static_cast<std::size_t>(frameWidth) * static_cast<std::size_t>(height) * 2)
{
    const int barsBottom = frameHeight * 3 / 4;
    for (int bar = 0; bar < BarCount; ++bar)
        fillRect(base.data(), frameWidth * bar / BarCount, 0, frameWidth * (bar + 1) / BarCount, barsBottom, Bars[bar]);
    fillRect(base.data(), 0, barsBottom, frameWidth, frameHeight, BandColour);
}

void TestPattern::render(std::uint32_t frameNumber, std::uint8_t *out) const
{
    std::memcpy(out, base.data(), base.size());
    const int bandTop = frameHeight * 3 / 4;
    const int bandHeight = frameHeight - bandTop;
    const int top = bandTop + bandHeight / 4;
    const int bottom = frameHeight - bandHeight / 4;
    const int cell = frameWidth / (CounterBits + 2);
    for (int bit = 0; bit < CounterBits; ++bit) {
        const bool set = (frameNumber >> (CounterBits - 1 - bit)) & 1U;
        const int left = cell * (bit + 1);
        fillRect(out, left + cell / 8, top, left + cell - cell / 8, bottom, set ? White : Black);
    }
}

void TestPattern::fillRect(std::uint8_t *frame, int left, int top, int right, int bottom, const Rgb &colour) const
{
    const Yuv yuv = toYuv(colour);
    // Whole pixel pairs: a pair shares its chroma.
    left &= ~1;
    right = std::min(right & ~1, frameWidth);
    bottom = std::min(bottom, frameHeight);
    for (int y = std::max(top, 0); y < bottom; ++y) {
        std::uint8_t *row = frame + static_cast<std::size_t>(y) * static_cast<std::size_t>(frameWidth) * 2;
        for (int x = std::max(left, 0); x < right; x += 2) {
            std::uint8_t *pair = row + static_cast<std::size_t>(x) * 2;
            pair[0] = yuv.y;
            pair[1] = yuv.u;
            pair[2] = yuv.y;
            pair[3] = yuv.v;
        }
    }
}

} // namespace camera_standin

#pragma once

#include <cstdint>
#include <vector>

namespace camera_standin {

// The picture the emulated camera shows: eight vertical colour bars over
// the top three quarters (white, yellow, cyan, green, magenta, red, blue,
// black, left to right), and below them a dark band with the frame number
// as sixteen blocks, most significant bit first (white = 1, black = 0).
// The bars tell a test where the picture is and which way it is turned; the
// blocks tell frames apart.
class TestPattern
{
public:
    struct Rgb
    {
        std::uint8_t red, green, blue;
    };
    static constexpr int BarCount = 8;
    static constexpr int CounterBits = 16;
    static const Rgb &barColour(int bar);
    static const Rgb BandColour;

    // width must be even (YUYV carries two pixels in four bytes).
    TestPattern(int width, int height);

    int width() const { return frameWidth; }
    int height() const { return frameHeight; }
    std::size_t frameBytes() const { return base.size(); }

    // One frame in YUYV 4:2:2 (Y0 U Y1 V, BT.601 limited range).
    void render(std::uint32_t frameNumber, std::uint8_t *out) const;

private:
    void fillRect(std::uint8_t *frame, int left, int top, int right, int bottom, const Rgb &colour) const;

    int frameWidth;
    int frameHeight;
    std::vector<std::uint8_t> base; // the bars and the empty band
};

} // namespace camera_standin

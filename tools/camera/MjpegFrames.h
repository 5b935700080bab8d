#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace camera_standin {

// The emulated camera's MJPEG frames: the test pattern (TestPattern's bars
// and frame counter, over a faint paper grain so that a frame weighs what a
// real one does), baseline JPEG 4:2:2 made with libjpeg-turbo and sent the
// way UVC cameras send it, without Huffman tables (DHT), which the reader
// must take from the JPEG standard.
//
// Encoding a whole 8 MP frame for every read would cost the stand-in most
// of a core. The picture is encoded once (again when brightness changes)
// with a restart marker after every row of blocks; a frame then only
// encodes the rows holding the counter and splices their entropy-coded
// segments in.
class MjpegFrames
{
public:
    // width a multiple of 16, height of 8 (the 4:2:2 block rows).
    MjpegFrames(int width, int height, int brightness);
    ~MjpegFrames();
    MjpegFrames(const MjpegFrames &) = delete;
    MjpegFrames &operator=(const MjpegFrames &) = delete;

    bool valid() const { return !header.empty(); }
    int brightness() const { return brightnessOffset; }
    // The largest frame this picture makes, with some room.
    std::size_t largestFrame() const;
    // One whole frame showing frameNumber.
    std::vector<std::uint8_t> frame(std::uint32_t frameNumber) const;

private:
    struct Encoded
    {
        std::vector<std::uint8_t> header; // SOI up to the end of SOS, DHT left out
        std::vector<std::vector<std::uint8_t>> rows; // entropy-coded data between restart markers
    };
    std::optional<Encoded> encode(const std::uint8_t *rgb, int rows) const;

    int frameWidth;
    int frameHeight;
    int brightnessOffset;
    int stripTop = 0; // first pixel row of the counter strip (block row aligned)
    int stripRows = 0;
    void *compressor = nullptr;
    std::vector<std::uint8_t> picture; // RGB of the whole frame, without counter
    std::vector<std::uint8_t> header;
    std::vector<std::vector<std::uint8_t>> rows;
    std::size_t baseBytes = 0;
};

// The parts of a JPEG stream a test or a reader checks: whether it holds a
// DHT segment, and whether it looks whole (SOI ... EOI).
bool jpegHasHuffmanTables(const std::uint8_t *data, std::size_t size);

} // namespace camera_standin

#pragma once

#include <QImage>

// Turns uncompressed camera frames into RGB32 images on the CPU, with the
// colours the frame says it has: its range (limited 16-235, or full 0-255
// as JPEG and many webcams use) and its matrix (BT.601 or BT.709). A step
// above 1 keeps every step-th pixel a row and column, for a view that shows
// less than the whole frame.
namespace frame_converter {

struct Colour
{
    bool fullRange = false;
    bool bt709 = false;
};

// YUYV 4:2:2 (Y0 U Y1 V), or UYVY (U Y0 V Y1).
QImage fromYuyv(const uchar *data, int width, int height, int bytesPerLine, bool uyvy = false, Colour colour = {},
                int step = 1);
// NV12 (a luma plane, then interleaved U V at half size).
QImage fromNv12(const uchar *luma, int lumaStride, const uchar *chroma, int chromaStride, int width, int height,
                Colour colour = {}, int step = 1);
// I420 (luma, then U and V planes at half size).
QImage fromI420(const uchar *luma, int lumaStride, const uchar *u, int uStride, const uchar *v, int vStride, int width,
                int height, Colour colour = {}, int step = 1);

} // namespace frame_converter

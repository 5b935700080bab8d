#include "FrameConverter.h"

#include <algorithm>

namespace frame_converter {

namespace {

// The conversion in 8.8 fixed point: luma scale and offset, then the
// chroma weights.
struct Matrix
{
    int lumaScale, lumaOffset;
    int redV, greenU, greenV, blueU;
};

Matrix matrixFor(Colour colour)
{
    // Limited range stretches 16-235 (219 steps) over 0-255.
    const int scale = colour.fullRange ? 256 : 298;
    const int offset = colour.fullRange ? 0 : 16;
    if (colour.bt709)
        return colour.fullRange ? Matrix{scale, offset, 403, 48, 120, 475} : Matrix{scale, offset, 459, 55, 136, 541};
    return colour.fullRange ? Matrix{scale, offset, 359, 88, 183, 454} : Matrix{scale, offset, 409, 100, 208, 516};
}

inline QRgb rgb(const Matrix &m, int y, int u, int v)
{
    const int c = (y - m.lumaOffset) * m.lumaScale;
    const int d = u - 128;
    const int e = v - 128;
    const auto clamp = [](int value) { return std::clamp((value + 128) >> 8, 0, 255); };
    return qRgb(clamp(c + m.redV * e), clamp(c - m.greenU * d - m.greenV * e), clamp(c + m.blueU * d));
}

QImage blank(int width, int height, int step)
{
    step = std::max(step, 1);
    return QImage(std::max(1, width / step), std::max(1, height / step), QImage::Format_RGB32);
}

// 4:2:0 with chroma at half the size both ways; each chroma sample lies
// chromaStep bytes from the next (1 in I420's own planes, 2 in NV12's
// interleaved pairs).
QImage from420(const uchar *luma, int lumaStride, const uchar *u, int uStride, const uchar *v, int vStride,
               int chromaStep, int width, int height, Colour colour, int step)
{
    QImage image = blank(width, height, step);
    step = std::max(step, 1);
    const Matrix m = matrixFor(colour);
    for (int row = 0; row < image.height(); ++row) {
        const int y = row * step;
        const uchar *lumaRow = luma + qsizetype(y) * lumaStride;
        const uchar *uRow = u + qsizetype(y / 2) * uStride;
        const uchar *vRow = v + qsizetype(y / 2) * vStride;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(row));
        for (int column = 0; column < image.width(); ++column) {
            const int x = column * step;
            const int sample = (x / 2) * chromaStep;
            out[column] = rgb(m, lumaRow[x], uRow[sample], vRow[sample]);
        }
    }
    return image;
}

} // namespace

QImage fromYuyv(const uchar *data, int width, int height, int bytesPerLine, bool uyvy, Colour colour, int step)
{
    QImage image = blank(width, height, step);
    step = std::max(step, 1);
    const Matrix m = matrixFor(colour);
    const int yOffset = uyvy ? 1 : 0;
    const int uOffset = uyvy ? 0 : 1;
    for (int row = 0; row < image.height(); ++row) {
        const uchar *in = data + qsizetype(row) * step * bytesPerLine;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(row));
        if (step == 1) {
            for (int x = 0; x + 1 < width; x += 2, in += 4) {
                const int u = in[uOffset];
                const int v = in[uOffset + 2];
                out[x] = rgb(m, in[yOffset], u, v);
                out[x + 1] = rgb(m, in[yOffset + 2], u, v);
            }
            continue;
        }
        for (int column = 0; column < image.width(); ++column) {
            const int x = column * step;
            const uchar *pair = in + (x / 2) * 4;
            out[column] = rgb(m, pair[yOffset + (x & 1) * 2], pair[uOffset], pair[uOffset + 2]);
        }
    }
    return image;
}

QImage fromNv12(const uchar *luma, int lumaStride, const uchar *chroma, int chromaStride, int width, int height,
                Colour colour, int step)
{
    return from420(luma, lumaStride, chroma, chromaStride, chroma + 1, chromaStride, 2, width, height, colour, step);
}

QImage fromI420(const uchar *luma, int lumaStride, const uchar *u, int uStride, const uchar *v, int vStride, int width,
                int height, Colour colour, int step)
{
    return from420(luma, lumaStride, u, uStride, v, vStride, 1, width, height, colour, step);
}

} // namespace frame_converter

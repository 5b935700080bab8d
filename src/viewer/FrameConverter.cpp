#include "FrameConverter.h"

#include <QVideoFrame>

#include <algorithm>

namespace frame_converter {

namespace {

inline QRgb rgb(int y, int u, int v)
{
    // BT.601, limited range, in 8.8 fixed point.
    const int c = (y - 16) * 298;
    const int d = u - 128;
    const int e = v - 128;
    const auto clamp = [](int value) { return std::clamp((value + 128) >> 8, 0, 255); };
    return qRgb(clamp(c + 409 * e), clamp(c - 100 * d - 208 * e), clamp(c + 516 * d));
}

QImage fromPlanar(const QVideoFrame &frame, bool interleavedChroma)
{
    const int width = frame.width();
    const int height = frame.height();
    QImage image(width, height, QImage::Format_RGB32);
    // Plane pointers and strides are looked up once: QVideoFrame's accessors
    // are not free, and this loop runs for every pixel of every frame.
    const uchar *luma = frame.bits(0);
    const int lumaStride = frame.bytesPerLine(0);
    const uchar *chromaPlane = frame.bits(1);
    const int chromaStride = frame.bytesPerLine(1);
    const uchar *vPlane = interleavedChroma ? nullptr : frame.bits(2);
    const int vStride = interleavedChroma ? 0 : frame.bytesPerLine(2);
    for (int y = 0; y < height; ++y) {
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        const uchar *lumaRow = luma + y * lumaStride;
        const uchar *chromaRow = chromaPlane + (y / 2) * chromaStride;
        if (interleavedChroma) {
            for (int x = 0; x < width; ++x) {
                const uchar *uv = chromaRow + (x / 2) * 2;
                out[x] = rgb(lumaRow[x], uv[0], uv[1]);
            }
        } else {
            const uchar *vRow = vPlane + (y / 2) * vStride;
            for (int x = 0; x < width; ++x)
                out[x] = rgb(lumaRow[x], chromaRow[x / 2], vRow[x / 2]);
        }
    }
    return image;
}

} // namespace

QImage fromYuyv(const uchar *data, int width, int height, int bytesPerLine, bool uyvy)
{
    QImage image(width, height, QImage::Format_RGB32);
    const int yOffset = uyvy ? 1 : 0;
    const int uOffset = uyvy ? 0 : 1;
    for (int row = 0; row < height; ++row) {
        const uchar *in = data + row * bytesPerLine;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(row));
        for (int x = 0; x + 1 < width; x += 2, in += 4) {
            const int u = in[uOffset];
            const int v = in[uOffset + 2];
            out[x] = rgb(in[yOffset], u, v);
            out[x + 1] = rgb(in[yOffset + 2], u, v);
        }
    }
    return image;
}

QImage toImage(const QVideoFrame &frame)
{
    QVideoFrame mapped = frame;
    const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
    const bool ours = format == QVideoFrameFormat::Format_YUYV || format == QVideoFrameFormat::Format_UYVY
                      || format == QVideoFrameFormat::Format_NV12 || format == QVideoFrameFormat::Format_YUV420P;
    if (!ours || !mapped.map(QVideoFrame::ReadOnly))
        return frame.toImage();
    QImage image;
    switch (format) {
    case QVideoFrameFormat::Format_YUYV:
    case QVideoFrameFormat::Format_UYVY:
        image = fromYuyv(mapped.bits(0), mapped.width(), mapped.height(), mapped.bytesPerLine(0),
                         format == QVideoFrameFormat::Format_UYVY);
        break;
    case QVideoFrameFormat::Format_NV12:
        image = fromPlanar(mapped, true);
        break;
    default:
        image = fromPlanar(mapped, false);
        break;
    }
    mapped.unmap();
    return image;
}

} // namespace frame_converter

#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// MJPEG frames as cameras send them. A UVC camera leaves the Huffman tables
// out of every frame (the reader takes the JPEG standard's, Annex K), and a
// frame read whole from the device may be followed by padding. A frame
// saved as a file gets its tables back and loses the padding; nothing else
// of the camera's bytes changes.
namespace jpeg_frame {

// The JPEG up to its end marker (padding after it dropped).
QByteArray trimmed(const QByteArray &frame);
bool hasHuffmanTables(const QByteArray &jpeg);
// The standard tables inserted before the scan when the frame has none.
QByteArray withStandardTables(const QByteArray &jpeg);
// An Exif orientation (a quarter turn clockwise = 90) for a picture the
// viewer shows turned; 0 leaves the bytes alone.
QByteArray withOrientation(const QByteArray &jpeg, int degrees);

} // namespace jpeg_frame

// Decodes MJPEG frames to RGB32 images, at the smallest of libjpeg-turbo's
// scales (1/1, 1/2, 1/4, 1/8) that still covers the size the view shows:
// an 8 MP frame shown in a window of 1000 pixels decodes at a quarter of
// the work. One decoder a thread.
class MjpegDecoder
{
public:
    MjpegDecoder();
    ~MjpegDecoder();
    MjpegDecoder(const MjpegDecoder &) = delete;
    MjpegDecoder &operator=(const MjpegDecoder &) = delete;

    // The frame's size, or an invalid size when it is no JPEG.
    QSize frameSize(const uchar *data, qsizetype size);
    // At least wanted (or whole, for an empty wanted) where the frame is that
    // large; a null image for a broken frame.
    QImage decode(const uchar *data, qsizetype size, QSize wanted);

private:
    void *handle;
};

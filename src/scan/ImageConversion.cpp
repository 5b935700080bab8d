#include "ImageConversion.h"

#include <leptonica/allheaders.h>

#include <opencv2/imgproc.hpp>

#include <cstring>

namespace scan {

cv::Mat rgbMatFromImage(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar *>(rgb.constBits()),
                       static_cast<size_t>(rgb.bytesPerLine()));
    return view.clone();
}

cv::Mat greyMatFromImage(const QImage &image)
{
    if (image.format() == QImage::Format_Grayscale8) {
        const cv::Mat view(image.height(), image.width(), CV_8UC1, const_cast<uchar *>(image.constBits()),
                           static_cast<size_t>(image.bytesPerLine()));
        return view.clone();
    }
    cv::Mat grey;
    cv::cvtColor(rgbMatFromImage(image), grey, cv::COLOR_RGB2GRAY);
    return grey;
}

cv::Mat reducedRgbMat(const QImage &image, int factor)
{
    const auto view = [](const QImage &picture, int type) {
        return cv::Mat(picture.height(), picture.width(), type, const_cast<uchar *>(picture.constBits()),
                       static_cast<size_t>(picture.bytesPerLine()));
    };
    cv::Mat source;
    int conversion = -1;
    QImage converted;
    switch (image.format()) {
    case QImage::Format_RGB888:
        source = view(image, CV_8UC3);
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        // 0xAARRGGBB words: B, G, R, A in memory on little-endian machines.
        source = view(image, CV_8UC4);
        conversion = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? cv::COLOR_BGRA2RGB : cv::COLOR_RGBA2RGB;
        break;
    case QImage::Format_Grayscale8:
        source = view(image, CV_8UC1);
        conversion = cv::COLOR_GRAY2RGB;
        break;
    default:
        converted = image.convertToFormat(QImage::Format_RGB888);
        source = view(converted, CV_8UC3);
        break;
    }
    cv::Mat reduced;
    if (factor > 1)
        cv::resize(source, reduced, {image.width() / factor, image.height() / factor}, 0, 0, cv::INTER_AREA);
    else
        reduced = source.clone();
    if (conversion >= 0)
        cv::cvtColor(reduced, reduced, conversion);
    return reduced;
}

QImage imageFromRgbMat(const cv::Mat &rgb)
{
    CV_Assert(rgb.type() == CV_8UC3);
    QImage image(rgb.cols, rgb.rows, QImage::Format_RGB888);
    for (int y = 0; y < rgb.rows; ++y)
        std::memcpy(image.scanLine(y), rgb.ptr(y), static_cast<size_t>(rgb.cols) * 3);
    return image;
}

QImage imageFromGreyMat(const cv::Mat &grey)
{
    CV_Assert(grey.type() == CV_8UC1);
    QImage image(grey.cols, grey.rows, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.rows; ++y)
        std::memcpy(image.scanLine(y), grey.ptr(y), static_cast<size_t>(grey.cols));
    return image;
}

QImage monoImageFromGreyMat(const cv::Mat &grey)
{
    CV_Assert(grey.type() == CV_8UC1);
    QImage image(grey.cols, grey.rows, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    for (int y = 0; y < grey.rows; ++y) {
        const uchar *in = grey.ptr(y);
        uchar *out = image.scanLine(y);
        for (int x = 0; x < grey.cols; ++x) {
            if (in[x] < 128)
                out[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
        }
    }
    return image;
}

namespace {

Pix *monoPix(const QImage &image)
{
    // Leptonica's 1-bit pictures have 1 for black.
    const QImage mono = image.convertToFormat(QImage::Format_Mono);
    const bool oneIsBlack = qGray(mono.color(1)) < qGray(mono.color(0));
    Pix *pix = pixCreate(mono.width(), mono.height(), 1);
    l_uint32 *data = pixGetData(pix);
    const int wordsPerLine = pixGetWpl(pix);
    for (int y = 0; y < mono.height(); ++y) {
        const uchar *in = mono.constScanLine(y);
        l_uint32 *line = data + static_cast<ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < mono.width(); ++x) {
            const bool bit = (in[x >> 3] >> (7 - (x & 7))) & 1;
            if (bit == oneIsBlack)
                SET_DATA_BIT(line, x);
        }
    }
    return pix;
}

Pix *greyPix(const QImage &image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    Pix *pix = pixCreate(grey.width(), grey.height(), 8);
    l_uint32 *data = pixGetData(pix);
    const int wordsPerLine = pixGetWpl(pix);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *in = grey.constScanLine(y);
        l_uint32 *line = data + static_cast<ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < grey.width(); ++x)
            SET_DATA_BYTE(line, x, in[x]);
    }
    return pix;
}

Pix *colourPix(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    Pix *pix = pixCreate(rgb.width(), rgb.height(), 32);
    l_uint32 *data = pixGetData(pix);
    const int wordsPerLine = pixGetWpl(pix);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar *in = rgb.constScanLine(y);
        l_uint32 *line = data + static_cast<ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < rgb.width(); ++x) {
            l_uint32 pixel = 0;
            composeRGBPixel(in[3 * x], in[3 * x + 1], in[3 * x + 2], &pixel);
            line[x] = pixel;
        }
    }
    return pix;
}

} // namespace

Pix *pixFromImage(const QImage &image, int dotsPerInch)
{
    Pix *pix = nullptr;
    if (image.depth() == 1)
        pix = monoPix(image);
    else if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16)
        pix = greyPix(image);
    else
        pix = colourPix(image);
    pixSetResolution(pix, dotsPerInch, dotsPerInch);
    return pix;
}

} // namespace scan

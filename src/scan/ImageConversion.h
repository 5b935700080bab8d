#pragma once

#include <QImage>

#include <opencv2/core/mat.hpp>

struct Pix;

namespace scan {

// Between Qt's images, OpenCV's matrices and Leptonica's pictures. The
// matrices own their pixels (copies), so that neither side can outlive the
// other's buffer.
cv::Mat rgbMatFromImage(const QImage &image);  // CV_8UC3, R G B
cv::Mat greyMatFromImage(const QImage &image); // CV_8UC1
// The picture reduced by a whole factor (averaging blocks of factor x factor
// pixels, OpenCV's fast case), read in place where its format allows.
cv::Mat reducedRgbMat(const QImage &image, int factor);
QImage imageFromRgbMat(const cv::Mat &rgb);
QImage imageFromGreyMat(const cv::Mat &grey);
// A 1-bit picture from a grey one: below 128 is black.
QImage monoImageFromGreyMat(const cv::Mat &grey);

// A Leptonica picture of the page at the given resolution: 1 bit for a
// black-and-white image, 8 bits for grey, 32 for colour. Tesseract's PDF
// renderer stores 1-bit pages as G4, the others as JPEG. The caller frees it
// (pixDestroy).
Pix *pixFromImage(const QImage &image, int dotsPerInch);

} // namespace scan

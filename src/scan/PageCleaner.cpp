#include "PageCleaner.h"

#include "ImageConversion.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

namespace scan {

namespace {

constexpr int kBorder = 12; // 1 mm at 300 dpi

// The paper's brightness: print is darker and thinner than the closing's
// reach (about 4 mm at 300 dpi), so a closing on a reduced copy removes it;
// what is left is the paper under its light.
cv::Mat paperBrightness(const cv::Mat &channel)
{
    constexpr int kReduction = 4;
    cv::Mat small;
    cv::resize(channel, small, {channel.cols / kReduction, channel.rows / kReduction}, 0, 0, cv::INTER_AREA);
    cv::morphologyEx(small, small, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, {11, 11}));
    cv::medianBlur(small, small, 5);
    cv::GaussianBlur(small, small, {0, 0}, 2.0);
    cv::Mat brightness;
    cv::resize(small, brightness, channel.size(), 0, 0, cv::INTER_LINEAR);
    return brightness;
}

// The paper at 255, print in proportion; slightly past white so that the
// paper's grain does not show.
cv::Mat evened(const cv::Mat &channel)
{
    cv::Mat result;
    cv::divide(channel, cv::max(paperBrightness(channel), 1), result, 255.0 * 1.08);
    return result;
}

// An outline a pixel off the page's edge lets a line of desk into the
// page's outermost pixels, which recognition would read as a '|'; paper has
// a margin there anyway.
void whitenBorder(cv::Mat &page)
{
    const int border = std::min({kBorder, page.cols / 4, page.rows / 4});
    const cv::Scalar white = cv::Scalar::all(255);
    page.rowRange(0, border).setTo(white);
    page.rowRange(page.rows - border, page.rows).setTo(white);
    page.colRange(0, border).setTo(white);
    page.colRange(page.cols - border, page.cols).setTo(white);
}

} // namespace

QImage PageCleaner::clean(const QImage &page, ScanMode mode)
{
    QImage result;
    if (mode == ScanMode::Colour) {
        std::vector<cv::Mat> channels;
        cv::split(rgbMatFromImage(page), channels);
        for (cv::Mat &channel : channels)
            channel = evened(channel);
        cv::Mat rgb;
        cv::merge(channels, rgb);
        whitenBorder(rgb);
        result = imageFromRgbMat(rgb);
    } else {
        cv::Mat grey = evened(greyMatFromImage(page));
        whitenBorder(grey);
        if (mode == ScanMode::Grey) {
            result = imageFromGreyMat(grey);
        } else {
            cv::Mat ink;
            cv::threshold(grey, ink, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
            result = monoImageFromGreyMat(ink);
        }
    }
    result.setDotsPerMeterX(page.dotsPerMeterX());
    result.setDotsPerMeterY(page.dotsPerMeterY());
    return result;
}

} // namespace scan

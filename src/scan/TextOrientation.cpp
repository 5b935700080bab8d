#include "TextOrientation.h"

#include "ImageConversion.h"

#include <opencv2/imgproc.hpp>

#include <vector>

namespace scan {

namespace {

constexpr int kReduction = 2;

double unevenness(const cv::Mat &profile)
{
    cv::Scalar mean;
    cv::Scalar deviation;
    cv::meanStdDev(profile, mean, deviation);
    return mean[0] > 0 ? deviation[0] / mean[0] : 0.0;
}

// Over every line of text (rows of ink between blank rows): the ink above
// the line's dense middle band minus the ink below it. Positive when the
// lines' tops are up.
double riseOverDrop(const cv::Mat &ink)
{
    cv::Mat rows;
    cv::reduce(ink, rows, 1, cv::REDUCE_SUM, CV_32F);
    const int height = rows.rows;
    double balance = 0;
    int y = 0;
    while (y < height) {
        while (y < height && rows.at<float>(y) < 1)
            ++y;
        const int top = y;
        while (y < height && rows.at<float>(y) >= 1)
            ++y;
        const int bottom = y; // one past the line
        if (bottom - top < 6)
            continue;
        float peak = 0;
        for (int r = top; r < bottom; ++r)
            peak = std::max(peak, rows.at<float>(r));
        int bandTop = top;
        while (bandTop < bottom && rows.at<float>(bandTop) < 0.5f * peak)
            ++bandTop;
        int bandBottom = bottom - 1;
        while (bandBottom > bandTop && rows.at<float>(bandBottom) < 0.5f * peak)
            --bandBottom;
        double above = 0;
        double below = 0;
        for (int r = top; r < bandTop; ++r)
            above += rows.at<float>(r);
        for (int r = bandBottom + 1; r < bottom; ++r)
            below += rows.at<float>(r);
        balance += above - below;
    }
    return balance;
}

} // namespace

int TextOrientation::uprightTurn(const QImage &page)
{
    if (page.width() < 2 * kReduction || page.height() < 2 * kReduction)
        return 0;
    cv::Mat grey;
    cv::resize(greyMatFromImage(page), grey, {page.width() / kReduction, page.height() / kReduction}, 0, 0,
               cv::INTER_AREA);
    cv::Mat ink;
    cv::threshold(grey, ink, 0, 1, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
    if (cv::countNonZero(ink) < 0.001 * ink.total() || cv::countNonZero(ink) > 0.5 * ink.total())
        return 0;

    cv::Mat rows;
    cv::Mat columns;
    cv::reduce(ink, rows, 1, cv::REDUCE_SUM, CV_32F);
    cv::reduce(ink, columns, 0, cv::REDUCE_SUM, CV_32F);
    const bool sideways = unevenness(columns) > 1.3 * unevenness(rows);
    if (!sideways)
        return riseOverDrop(ink) >= 0 ? 0 : 180;
    // Lines run down the page: look at them turned a quarter clockwise.
    cv::Mat turned;
    cv::rotate(ink, turned, cv::ROTATE_90_CLOCKWISE);
    return riseOverDrop(turned) >= 0 ? 90 : 270;
}

} // namespace scan

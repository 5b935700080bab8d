#include "PageStraightener.h"

#include "ImageConversion.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scan {

namespace {

struct Paper
{
    double shortInches;
    double longInches;
};
constexpr Paper kA4{210 / 25.4, 297 / 25.4};
constexpr Paper kLetter{8.5, 11.0};
// A camera's perspective and a hand-drawn outline leave the measured
// proportions a few percent off the paper's.
constexpr double kPaperTolerance = 0.04;

double distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

int dots(double inches) { return static_cast<int>(std::lround(inches * PageStraightener::kDotsPerInch)); }

} // namespace

QSize PageStraightener::pageSize(const PageCorners &c)
{
    const double width = (distance(c[0], c[1]) + distance(c[3], c[2])) / 2;
    const double height = (distance(c[0], c[3]) + distance(c[1], c[2])) / 2;
    if (width < 1 || height < 1)
        return {dots(kA4.shortInches), dots(kA4.longInches)};
    const bool portrait = height >= width;
    const double ratio = std::max(width, height) / std::min(width, height);
    Paper paper{0, 0};
    for (const Paper &known : {kA4, kLetter}) {
        if (std::abs(ratio / (known.longInches / known.shortInches) - 1.0) < kPaperTolerance) {
            paper = known;
            break;
        }
    }
    if (paper.longInches == 0) {
        // Not a paper size we know: its proportions, as long as A4 is long,
        // since a document camera's field is sized for A4.
        paper = {kA4.longInches / ratio, kA4.longInches};
    }
    const QSize landscape(dots(paper.longInches), dots(paper.shortInches));
    return portrait ? landscape.transposed() : landscape;
}

QImage PageStraightener::straighten(const QImage &still, const PageCorners &corners)
{
    const QSize size = pageSize(corners);
    const cv::Mat source = still.format() == QImage::Format_Grayscale8 ? greyMatFromImage(still)
                                                                       : rgbMatFromImage(still);
    const cv::Point2f from[4] = {
        {static_cast<float>(corners[0].x()), static_cast<float>(corners[0].y())},
        {static_cast<float>(corners[1].x()), static_cast<float>(corners[1].y())},
        {static_cast<float>(corners[2].x()), static_cast<float>(corners[2].y())},
        {static_cast<float>(corners[3].x()), static_cast<float>(corners[3].y())},
    };
    const float right = static_cast<float>(size.width() - 1);
    const float bottom = static_cast<float>(size.height() - 1);
    const cv::Point2f to[4] = {{0, 0}, {right, 0}, {right, bottom}, {0, bottom}};
    cv::Mat page;
    cv::warpPerspective(source, page, cv::getPerspectiveTransform(from, to), {size.width(), size.height()},
                        cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    QImage result = page.channels() == 1 ? imageFromGreyMat(page) : imageFromRgbMat(page);
    const int dotsPerMetre = static_cast<int>(std::lround(kDotsPerInch / 0.0254));
    result.setDotsPerMeterX(dotsPerMetre);
    result.setDotsPerMeterY(dotsPerMetre);
    return result;
}

} // namespace scan

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

double PageStraightener::proportions(const PageCorners &c, QSize picture)
{
    const double width = (distance(c[0], c[1]) + distance(c[3], c[2])) / 2;
    const double height = (distance(c[0], c[3]) + distance(c[1], c[2])) / 2;
    const double measured = height > 0 ? width / height : 1.0;

    const cv::Vec3d m1(c[0].x(), c[0].y(), 1); // top left
    const cv::Vec3d m2(c[1].x(), c[1].y(), 1); // top right
    const cv::Vec3d m3(c[3].x(), c[3].y(), 1); // bottom left
    const cv::Vec3d m4(c[2].x(), c[2].y(), 1); // bottom right
    const double k2 = m1.cross(m4).dot(m3) / m2.cross(m4).dot(m3);
    const double k3 = m1.cross(m4).dot(m2) / m3.cross(m4).dot(m2);
    const cv::Vec3d n2 = k2 * m2 - m1;
    const cv::Vec3d n3 = k3 * m3 - m1;
    const double u0 = picture.width() / 2.0;
    const double v0 = picture.height() / 2.0;
    // Nearly a parallelogram: no perspective to undo.
    if (std::abs(n2[2]) < 1e-6 || std::abs(n3[2]) < 1e-6)
        return measured;
    const double focalSquared =
        -((n2[0] * n3[0] - (n2[0] * n3[2] + n2[2] * n3[0]) * u0 + n2[2] * n3[2] * u0 * u0)
          + (n2[1] * n3[1] - (n2[1] * n3[2] + n2[2] * n3[1]) * v0 + n2[2] * n3[2] * v0 * v0))
        / (n2[2] * n3[2]);
    if (!(focalSquared > 0))
        return measured;
    const double f = std::sqrt(focalSquared);
    // nᵀ (A Aᵀ)⁻¹ n with A the camera matrix (f, f, u0, v0).
    const auto norm = [&](const cv::Vec3d &n) {
        const double x = (n[0] - u0 * n[2]) / f;
        const double y = (n[1] - v0 * n[2]) / f;
        return x * x + y * y + n[2] * n[2];
    };
    const double ratio = std::sqrt(norm(n2) / norm(n3));
    // A focal length far from any camera's means the outline is not a
    // rectangle seen in perspective (a hand-set outline): trust the measure.
    if (!std::isfinite(ratio) || f < 0.3 * picture.width() || f > 10.0 * picture.width())
        return measured;
    return ratio;
}

QSize PageStraightener::pageSize(const PageCorners &c, QSize picture)
{
    const double widthOverHeight = proportions(c, picture);
    if (!(widthOverHeight > 0.05 && widthOverHeight < 20))
        return {dots(kA4.shortInches), dots(kA4.longInches)};
    const bool portrait = widthOverHeight <= 1.0;
    const double ratio = portrait ? 1.0 / widthOverHeight : widthOverHeight;
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
    const QSize size = pageSize(corners, still.size());
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

#include "PageScore.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace score {

namespace {

std::vector<cv::Point2f> points(const scan::PageCorners &corners)
{
    std::vector<cv::Point2f> result;
    for (const QPointF &p : corners)
        result.emplace_back(static_cast<float>(p.x()), static_cast<float>(p.y()));
    return result;
}

QString normalised(const QString &text)
{
    return text.simplified();
}

} // namespace

double jaccard(const scan::PageCorners &found, const scan::PageCorners &truth, QSizeF pageSize)
{
    const std::vector<cv::Point2f> truePoints = points(truth);
    const float w = static_cast<float>(pageSize.width());
    const float h = static_cast<float>(pageSize.height());
    const std::vector<cv::Point2f> rectangle{{0, 0}, {w, 0}, {w, h}, {0, h}};
    const cv::Mat toPage = cv::getPerspectiveTransform(truePoints, rectangle);
    std::vector<cv::Point2f> foundInPage;
    cv::perspectiveTransform(points(found), foundInPage, toPage);
    // Convex and clockwise for the intersection; a found outline that turns
    // inside out in the page's frame is no match at all.
    std::vector<cv::Point2f> hull;
    cv::convexHull(foundInPage, hull);
    if (hull.size() < 3)
        return 0.0;
    std::vector<cv::Point2f> overlap;
    const double common = cv::intersectConvexConvex(hull, rectangle, overlap, true);
    const double union_ = cv::contourArea(hull) + static_cast<double>(w) * h - common;
    return union_ > 0 ? common / union_ : 0.0;
}

double worstCornerError(const scan::PageCorners &found, const scan::PageCorners &truth)
{
    double best = INFINITY;
    for (std::size_t shift = 0; shift < 4; ++shift) {
        double worst = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const QPointF d = found[(i + shift) % 4] - truth[i];
            worst = std::max(worst, std::hypot(d.x(), d.y()));
        }
        best = std::min(best, worst);
    }
    return best;
}

double characterErrorRate(const QString &recognised, const QString &expected)
{
    const QString a = normalised(recognised);
    const QString b = normalised(expected);
    if (b.isEmpty())
        return a.isEmpty() ? 0.0 : 1.0;
    std::vector<int> previous(static_cast<std::size_t>(b.size()) + 1);
    std::vector<int> current(previous.size());
    for (std::size_t j = 0; j < previous.size(); ++j)
        previous[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int substitution = previous[static_cast<std::size_t>(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[static_cast<std::size_t>(j)] = std::min({previous[static_cast<std::size_t>(j)] + 1,
                                                             current[static_cast<std::size_t>(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return static_cast<double>(previous.back()) / static_cast<double>(b.size());
}

} // namespace score

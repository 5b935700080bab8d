#include "PageFinder.h"

#include "CornerRefiner.h"
#include "EdgeSupport.h"
#include "ImageConversion.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace scan {

namespace {

using Quad = EdgeSupport::Quad;

// A candidate is taken when this share of its outline lies on an edge and
// no side is mostly bare.
constexpr double kAcceptedShare = 0.6;
constexpr double kAcceptedWeakestSide = 0.3;
// A contour whose outline is this well supported needs no line search.
constexpr double kConvincingShare = 0.93;

struct Candidate
{
    Quad quad;
    EdgeSupport::Score score;
    FoundBy foundBy;
};

Quad clockwise(const std::array<cv::Point2f, 4> &points)
{
    std::array<QPointF, 4> q;
    for (std::size_t i = 0; i < 4; ++i)
        q[i] = QPointF(points[i].x, points[i].y);
    const PageCorners ordered = orderedCorners(q);
    Quad result;
    for (std::size_t i = 0; i < 4; ++i)
        result[i] = cv::Point2f(static_cast<float>(ordered[i].x()), static_cast<float>(ordered[i].y()));
    return result;
}

bool plausible(const Quad &quad, cv::Size size, double minimumArea)
{
    const std::vector<cv::Point2f> polygon(quad.begin(), quad.end());
    if (!cv::isContourConvex(polygon) || cv::contourArea(polygon) < minimumArea)
        return false;
    const float slackX = 0.02f * size.width;
    const float slackY = 0.02f * size.height;
    for (std::size_t i = 0; i < 4; ++i) {
        const cv::Point2f &p = quad[i];
        if (p.x < -slackX || p.y < -slackY || p.x > size.width + slackX || p.y > size.height + slackY)
            return false;
        // Paper corners seen from above are never sharper than about 45°.
        const cv::Point2f a = quad[(i + 3) % 4] - p;
        const cv::Point2f b = quad[(i + 1) % 4] - p;
        const double cosine = a.dot(b) / (std::hypot(a.x, a.y) * std::hypot(b.x, b.y));
        if (std::abs(cosine) > 0.7)
            return false;
    }
    return true;
}

// Outlines of edge regions that simplify to four corners.
std::vector<Quad> contourCandidates(const cv::Mat &edges, double minimumArea)
{
    cv::Mat joined;
    cv::dilate(edges, joined, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(joined, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    std::vector<Quad> quads;
    for (const auto &contour : contours) {
        std::vector<cv::Point> hull;
        cv::convexHull(contour, hull);
        if (cv::contourArea(hull) < minimumArea)
            continue;
        std::vector<cv::Point> corners;
        cv::approxPolyDP(hull, corners, 0.02 * cv::arcLength(hull, true), true);
        if (corners.size() != 4)
            continue;
        std::array<cv::Point2f, 4> points;
        for (std::size_t i = 0; i < 4; ++i)
            points[i] = cv::Point2f(corners[i]);
        quads.push_back(clockwise(points));
    }
    return quads;
}

// A straight edge line in normal form, x cos θ + y sin θ = ρ, with the
// length of the segments that make it up.
struct EdgeLine
{
    double theta = 0; // 0..π
    double rho = 0;
    double length = 0;
};

std::vector<EdgeLine> edgeLines(const cv::Mat &edges, int workingLength)
{
    std::vector<cv::Vec4i> segments;
    cv::HoughLinesP(edges, segments, 1, CV_PI / 180, 40, workingLength * 0.06, 6);
    std::vector<EdgeLine> lines;
    for (const cv::Vec4i &s : segments) {
        const double dx = s[2] - s[0];
        const double dy = s[3] - s[1];
        const double length = std::hypot(dx, dy);
        double theta = std::atan2(dx, -dy); // the normal's angle
        double rho = s[0] * std::cos(theta) + s[1] * std::sin(theta);
        if (theta < 0) {
            theta += CV_PI;
            rho = -rho;
        }
        if (theta >= CV_PI) {
            theta -= CV_PI;
            rho = -rho;
        }
        // Collinear segments (an edge broken by a hand or a shadow) make one line.
        bool merged = false;
        for (EdgeLine &line : lines) {
            double dTheta = std::abs(line.theta - theta);
            double otherRho = rho;
            if (dTheta > CV_PI / 2) {
                dTheta = CV_PI - dTheta;
                otherRho = -rho;
            }
            if (dTheta < 2.0 * CV_PI / 180 && std::abs(line.rho - otherRho) < 5) {
                line.length += length;
                merged = true;
                break;
            }
        }
        if (!merged)
            lines.push_back({theta, rho, length});
    }
    std::sort(lines.begin(), lines.end(), [](const EdgeLine &a, const EdgeLine &b) { return a.length > b.length; });
    if (lines.size() > 18)
        lines.resize(18);
    return lines;
}

double angleBetween(const EdgeLine &a, const EdgeLine &b)
{
    const double d = std::abs(a.theta - b.theta);
    return std::min(d, CV_PI - d);
}

std::optional<cv::Point2f> meet(const EdgeLine &a, const EdgeLine &b)
{
    const double determinant = std::cos(a.theta) * std::sin(b.theta) - std::sin(a.theta) * std::cos(b.theta);
    if (std::abs(determinant) < 1e-3)
        return std::nullopt;
    const double x = (a.rho * std::sin(b.theta) - b.rho * std::sin(a.theta)) / determinant;
    const double y = (b.rho * std::cos(a.theta) - a.rho * std::cos(b.theta)) / determinant;
    return cv::Point2f(static_cast<float>(x), static_cast<float>(y));
}

// Quadrilaterals from two pairs of nearly opposite lines that cross at
// nearly right angles (the perspective of a camera above a desk).
std::vector<Quad> lineCandidates(const std::vector<EdgeLine> &lines)
{
    constexpr double kOppositeTolerance = 25 * CV_PI / 180;
    constexpr double kCrossingTolerance = 35 * CV_PI / 180;
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            if (angleBetween(lines[i], lines[j]) < kOppositeTolerance)
                pairs.emplace_back(i, j);
        }
    }
    std::vector<Quad> quads;
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        for (std::size_t q = p + 1; q < pairs.size(); ++q) {
            const EdgeLine &a1 = lines[pairs[p].first];
            const EdgeLine &a2 = lines[pairs[p].second];
            const EdgeLine &b1 = lines[pairs[q].first];
            const EdgeLine &b2 = lines[pairs[q].second];
            if (std::abs(angleBetween(a1, b1) - CV_PI / 2) > kCrossingTolerance)
                continue;
            const auto c1 = meet(a1, b1);
            const auto c2 = meet(a1, b2);
            const auto c3 = meet(a2, b2);
            const auto c4 = meet(a2, b1);
            if (!c1 || !c2 || !c3 || !c4)
                continue;
            quads.push_back(clockwise({*c1, *c2, *c3, *c4}));
        }
    }
    return quads;
}

bool acceptable(const EdgeSupport::Score &score)
{
    return score.share() >= kAcceptedShare && score.weakestSide >= kAcceptedWeakestSide;
}

} // namespace

PageFinder::PageFinder()
    : PageFinder(Settings{})
{
}

PageFinder::PageFinder(Settings settings)
    : m_settings(settings)
{
}

FoundPage PageFinder::find(const QImage &frame) const
{
    FoundPage answer;
    if (frame.isNull())
        return answer;
    answer.corners = wholeFrame(frame.width(), frame.height());

    const int longSide = std::max(frame.width(), frame.height());
    const double scale = std::min(1.0, static_cast<double>(m_settings.workingLength) / longSide);
    const QImage small = frame.scaled(std::max(1, qRound(frame.width() * scale)),
                                      std::max(1, qRound(frame.height() * scale)), Qt::IgnoreAspectRatio,
                                      Qt::SmoothTransformation);
    cv::Mat grey = greyMatFromImage(small);
    // Text and thin dark lines on the page vanish under a closing; the
    // page's own edges stay.
    cv::morphologyEx(grey, grey, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, {5, 5}));
    cv::GaussianBlur(grey, grey, {5, 5}, 0);
    cv::Mat edges;
    cv::Canny(grey, edges, 20, 50);

    const EdgeSupport support(grey);
    const double minimumArea = m_settings.minimumPageShare * grey.cols * grey.rows;
    std::optional<Candidate> best;
    const auto consider = [&](const Quad &quad, FoundBy foundBy) {
        if (!plausible(quad, grey.size(), minimumArea))
            return;
        const EdgeSupport::Score score = support.score(quad);
        if (!acceptable(score))
            return;
        if (!best || score.rank() > best->score.rank())
            best = Candidate{quad, score, foundBy};
    };
    for (const Quad &quad : contourCandidates(edges, minimumArea))
        consider(quad, FoundBy::Contours);
    if (!best || best->score.share() < kConvincingShare) {
        for (const Quad &quad : lineCandidates(edgeLines(edges, m_settings.workingLength)))
            consider(quad, FoundBy::Lines);
    }
    if (!best)
        return answer;

    const double toFull = 1.0 / scale;
    PageCorners corners;
    for (std::size_t i = 0; i < 4; ++i) {
        // A pixel's centre on the copy is a block's centre on the frame.
        corners[i] = QPointF((best->quad[i].x + 0.5) * toFull - 0.5, (best->quad[i].y + 0.5) * toFull - 0.5);
    }
    if (m_settings.refineAtFullSize && scale < 1.0)
        corners = CornerRefiner(3.0 * toFull + 4.0).refine(frame, corners);
    answer.corners = corners;
    answer.foundBy = best->foundBy;
    answer.edgeSupport = best->score.share();
    return answer;
}

} // namespace scan

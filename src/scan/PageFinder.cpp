#include "PageFinder.h"

#include "CornerRefiner.h"
#include "EdgeSupport.h"
#include "ImageConversion.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
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
// Straight lines kept from each edge map for building quadrilaterals.
constexpr std::size_t kLinesPerSource = 14;

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
    double length = 0; // weighted by edge strength
};

// The mean edge strength along a segment: a page's edge against a desk is
// stronger than the grain of the desk or the weave of a cloth.
double meanStrength(const cv::Mat &strength, const cv::Vec4i &s, double length)
{
    const int samples = std::max(2, static_cast<int>(length / 2));
    double sum = 0;
    for (int i = 0; i <= samples; ++i) {
        const double t = static_cast<double>(i) / samples;
        const int x = std::clamp(cvRound(s[0] + t * (s[2] - s[0])), 0, strength.cols - 1);
        const int y = std::clamp(cvRound(s[1] + t * (s[3] - s[1])), 0, strength.rows - 1);
        sum += strength.at<float>(y, x);
    }
    return sum / (samples + 1);
}

std::vector<EdgeLine> edgeLines(const cv::Mat &edges, const cv::Mat &strength, int workingLength)
{
    std::vector<cv::Vec4i> segments;
    cv::HoughLinesP(edges, segments, 1, CV_PI / 180, 40, workingLength * 0.06, 6);
    std::vector<EdgeLine> lines;
    for (const cv::Vec4i &s : segments) {
        const double dx = s[2] - s[0];
        const double dy = s[3] - s[1];
        const double length = std::hypot(dx, dy) * meanStrength(strength, s, std::hypot(dx, dy));
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
    if (lines.size() > kLinesPerSource)
        lines.resize(kLinesPerSource);
    return lines;
}

// Where paper is: bright and grey. Wood, cloth and skin are coloured, mats
// dark; 2·min − max of the channels keeps white paper high and brings a
// coloured surface down by its saturation. The largest region above Otsu's
// threshold is taken for the page, and its boundary is where its edge lines
// are looked for, away from the stripes of a cloth or the grain of a desk.
std::optional<cv::Mat> paperBoundary(const cv::Mat &rgb, double minimumShare)
{
    std::vector<cv::Mat> channels;
    cv::split(rgb, channels);
    cv::Mat lowest;
    cv::Mat highest;
    cv::Mat(cv::min(cv::min(channels[0], channels[1]), channels[2])).convertTo(lowest, CV_16S);
    cv::Mat(cv::max(cv::max(channels[0], channels[1]), channels[2])).convertTo(highest, CV_16S);
    cv::Mat paperness;
    cv::Mat(lowest * 2 - highest).convertTo(paperness, CV_8U); // saturates at 0 and 255
    cv::GaussianBlur(paperness, paperness, {5, 5}, 0);
    cv::Mat mask;
    cv::threshold(paperness, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, {5, 5});
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN, kernel);
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, kernel);
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 4, CV_32S);
    int largest = 0;
    for (int label = 1; label < count; ++label) {
        if (largest == 0 || stats.at<int>(label, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA))
            largest = label;
    }
    if (largest == 0)
        return std::nullopt;
    // A page is one solid region, a hand's or a fold's bite out of it aside;
    // anything else (a light desk as bright as the paper) is no guide.
    const cv::Mat region = labels == largest;
    std::vector<std::vector<cv::Point>> outlines;
    cv::findContours(region, outlines, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    if (outlines.empty())
        return std::nullopt;
    const auto outline = std::max_element(outlines.begin(), outlines.end(), [](const auto &a, const auto &b) {
        return cv::contourArea(a) < cv::contourArea(b);
    });
    std::vector<cv::Point> hull;
    cv::convexHull(*outline, hull);
    const double area = cv::contourArea(*outline);
    const double frameArea = static_cast<double>(rgb.cols) * rgb.rows;
    if (area < minimumShare * frameArea || area > 0.97 * frameArea || area < 0.85 * cv::contourArea(hull))
        return std::nullopt;
    cv::Mat boundary;
    cv::morphologyEx(region, boundary, cv::MORPH_GRADIENT, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
    return boundary;
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
    const int factor = std::max(1, static_cast<int>(std::lround(static_cast<double>(longSide) / m_settings.workingLength)));
    const cv::Mat smallRgb = reducedRgbMat(frame, factor);
    cv::Mat grey;
    cv::cvtColor(smallRgb, grey, cv::COLOR_RGB2GRAY);
    // Text and thin dark lines on the page vanish under a closing; the
    // page's own edges stay.
    cv::morphologyEx(grey, grey, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, {5, 5}));
    cv::GaussianBlur(grey, grey, {5, 5}, 0);
    cv::Mat edges;
    cv::Canny(grey, edges, 20, 50);

    const EdgeSupport support(grey);
    cv::Mat strength;
    {
        cv::Mat gx, gy;
        cv::Sobel(grey, gx, CV_32F, 1, 0, 3);
        cv::Sobel(grey, gy, CV_32F, 0, 1, 3);
        cv::magnitude(gx, gy, strength);
    }
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
        // Where the paper stands out as a region of its own, its boundary
        // alone gives the lines; else every edge of the picture does.
        const std::optional<cv::Mat> boundary = paperBoundary(smallRgb, m_settings.minimumPageShare);
        if (boundary) {
            for (const Quad &quad : contourCandidates(*boundary, minimumArea))
                consider(quad, FoundBy::Contours);
        }
        const std::vector<EdgeLine> lines = edgeLines(boundary ? *boundary : edges, strength, m_settings.workingLength);
        for (const Quad &quad : lineCandidates(lines))
            consider(quad, FoundBy::Lines);
    }
    if (!best)
        return answer;

    const double toFull = factor;
    PageCorners corners;
    for (std::size_t i = 0; i < 4; ++i) {
        // A pixel's centre on the copy is a block's centre on the frame.
        corners[i] = QPointF((best->quad[i].x + 0.5) * toFull - 0.5, (best->quad[i].y + 0.5) * toFull - 0.5);
    }
    if (m_settings.refineAtFullSize && factor > 1)
        corners = CornerRefiner(3.0 * toFull + 4.0).refine(frame, corners);
    answer.corners = corners;
    answer.foundBy = best->foundBy;
    answer.edgeSupport = best->score.share();
    return answer;
}

} // namespace scan

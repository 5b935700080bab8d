#include "CornerRefiner.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace scan {

namespace {

constexpr int kSamplesPerSide = 48;
// A grey step smaller than this over two pixels is noise, not paper.
constexpr double kMinimumStep = 6.0;
constexpr double kInlierDistance = 1.5;

double greyAt(const QImage &frame, double x, double y)
{
    const int column = std::clamp(static_cast<int>(std::lround(x)), 0, frame.width() - 1);
    const int row = std::clamp(static_cast<int>(std::lround(y)), 0, frame.height() - 1);
    return qGray(frame.pixel(column, row));
}

QPointF unit(QPointF v)
{
    const double length = std::hypot(v.x(), v.y());
    return length > 0 ? v / length : QPointF(1, 0);
}

double cross(QPointF a, QPointF b) { return a.x() * b.y() - a.y() * b.x(); }

std::optional<QPointF> intersection(QPointF p, QPointF r, QPointF q, QPointF s)
{
    const double denominator = cross(r, s);
    if (std::abs(denominator) < 1e-6)
        return std::nullopt;
    const double t = cross(q - p, s) / denominator;
    return p + t * r;
}

} // namespace

CornerRefiner::CornerRefiner(double searchRadius)
    : m_searchRadius(searchRadius)
{
}

std::optional<double> CornerRefiner::edgeOffset(const QImage &frame, QPointF at, QPointF along,
                                                QPointF inward) const
{
    // The grey profile across the side, each point averaged over a short
    // stretch along it against sensor noise; the edge is where it climbs
    // fastest towards the inside.
    const int radius = static_cast<int>(std::ceil(m_searchRadius)) + 1;
    std::vector<double> profile;
    profile.reserve(static_cast<std::size_t>(2 * radius + 1));
    for (int t = -radius; t <= radius; ++t) {
        double sum = 0;
        for (int s = -2; s <= 2; ++s) {
            const QPointF p = at + t * inward + s * along;
            sum += greyAt(frame, p.x(), p.y());
        }
        profile.push_back(sum / 5.0);
    }
    int best = -1;
    double bestStep = kMinimumStep;
    for (int i = 1; i + 1 < static_cast<int>(profile.size()); ++i) {
        const double step = profile[static_cast<std::size_t>(i + 1)] - profile[static_cast<std::size_t>(i - 1)];
        if (step > bestStep) {
            bestStep = step;
            best = i;
        }
    }
    if (best < 0)
        return std::nullopt;
    double offset = best - radius;
    if (best >= 2 && best + 2 < static_cast<int>(profile.size())) {
        // A parabola through the steepest step and its neighbours.
        const auto stepAt = [&](int i) {
            return profile[static_cast<std::size_t>(i + 1)] - profile[static_cast<std::size_t>(i - 1)];
        };
        const double left = stepAt(best - 1);
        const double right = stepAt(best + 1);
        const double curvature = left - 2 * bestStep + right;
        if (curvature < 0)
            offset += 0.5 * (left - right) / curvature;
    }
    return offset;
}

std::optional<CornerRefiner::Line> CornerRefiner::fitSide(const QImage &frame, QPointF from, QPointF to) const
{
    const QPointF along = unit(to - from);
    const QPointF inward(-along.y(), along.x());
    std::vector<QPointF> points;
    for (int i = 0; i < kSamplesPerSide; ++i) {
        const double t = 0.06 + 0.88 * i / (kSamplesPerSide - 1);
        const QPointF at = from + t * (to - from);
        if (at.x() < 0 || at.y() < 0 || at.x() > frame.width() - 1 || at.y() > frame.height() - 1)
            continue;
        if (const auto offset = edgeOffset(frame, at, along, inward))
            points.push_back(at + *offset * inward);
    }
    if (points.size() < kSamplesPerSide / 4)
        return std::nullopt;

    // The line through the most points: a hand or a shadow over part of the
    // side gives points off it, which must not pull it.
    std::size_t bestInliers = 0;
    Line best;
    for (std::size_t i = 0; i < points.size(); ++i) {
        for (std::size_t j = i + points.size() / 3; j < points.size(); j += 2) {
            const QPointF direction = unit(points[j] - points[i]);
            std::size_t inliers = 0;
            for (const QPointF &p : points) {
                if (std::abs(cross(direction, p - points[i])) < kInlierDistance)
                    ++inliers;
            }
            if (inliers > bestInliers) {
                bestInliers = inliers;
                best = {points[i], direction};
            }
        }
    }
    if (bestInliers < kSamplesPerSide / 4)
        return std::nullopt;

    // Least squares over the points on that line.
    QPointF mean;
    std::vector<QPointF> inliers;
    for (const QPointF &p : points) {
        if (std::abs(cross(best.direction, p - best.point)) < kInlierDistance)
            inliers.push_back(p);
    }
    for (const QPointF &p : inliers)
        mean += p / static_cast<double>(inliers.size());
    double xx = 0, xy = 0, yy = 0;
    for (const QPointF &p : inliers) {
        const QPointF d = p - mean;
        xx += d.x() * d.x();
        xy += d.x() * d.y();
        yy += d.y() * d.y();
    }
    const double angle = 0.5 * std::atan2(2 * xy, xx - yy);
    QPointF direction(std::cos(angle), std::sin(angle));
    if (QPointF::dotProduct(direction, along) < 0)
        direction = -direction;
    return Line{mean, direction};
}

PageCorners CornerRefiner::refine(const QImage &frame, const PageCorners &corners) const
{
    std::array<Line, 4> sides;
    for (std::size_t side = 0; side < 4; ++side) {
        const QPointF from = corners[side];
        const QPointF to = corners[(side + 1) % 4];
        sides[side] = fitSide(frame, from, to).value_or(Line{from, unit(to - from)});
    }
    PageCorners refined;
    for (std::size_t corner = 0; corner < 4; ++corner) {
        const Line &before = sides[(corner + 3) % 4];
        const Line &after = sides[corner];
        const auto meeting = intersection(before.point, before.direction, after.point, after.direction);
        // Sides that meet far from where the corner was are a failed fit.
        if (!meeting || std::hypot(meeting->x() - corners[corner].x(), meeting->y() - corners[corner].y())
                            > 4 * m_searchRadius)
            return corners;
        refined[corner] = *meeting;
    }
    return refined;
}

} // namespace scan

#pragma once

#include "ScanTypes.h"

#include <QImage>

#include <optional>

namespace scan {

// Moves a page's outline, found on a small copy of the picture, onto the
// page's edges in the full-size picture: each side is fitted to the edge
// points found across it (those behind a hand or a shadow are left out), and
// the corners are where the fitted sides meet. A side without enough edge
// keeps its first position.
class CornerRefiner
{
public:
    // searchRadius: how far (full-size pixels) a side may move.
    explicit CornerRefiner(double searchRadius);

    PageCorners refine(const QImage &frame, const PageCorners &corners) const;

private:
    struct Line
    {
        QPointF point;
        QPointF direction; // unit length
    };

    std::optional<Line> fitSide(const QImage &frame, QPointF from, QPointF to) const;
    std::optional<double> edgeOffset(const QImage &frame, QPointF at, QPointF along, QPointF inward) const;

    double m_searchRadius;
};

} // namespace scan

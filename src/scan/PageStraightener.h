#pragma once

#include "ScanTypes.h"

#include <QImage>
#include <QSize>

namespace scan {

// Turns the page inside a picture into a flat, upright-edged page at 300 dpi:
// a perspective correction of the full-size still with cubic interpolation.
// The page keeps its own proportions; where they are near A4's or Letter's,
// it gets that paper's exact size.
class PageStraightener
{
public:
    static constexpr int kDotsPerInch = 300;

    // The page's proportions, width over height, from its corners in a
    // picture of the given size: undoing the camera's perspective where the
    // outline is not a parallelogram (Zhang and He's method for whiteboards,
    // with the picture's centre as the principal point), else as measured.
    static double proportions(const PageCorners &corners, QSize picture);
    // The size the page gets.
    static QSize pageSize(const PageCorners &corners, QSize picture);

    static QImage straighten(const QImage &still, const PageCorners &corners);
};

} // namespace scan

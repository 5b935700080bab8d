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

    // The size the page gets, from its corners in the picture.
    static QSize pageSize(const PageCorners &corners);

    static QImage straighten(const QImage &still, const PageCorners &corners);
};

} // namespace scan

#pragma once

#include <QImage>

namespace scan {

// Which way up the text on a page is, from the ink alone, so that a page
// photographed turned is recognised (and stored) upright without reading it
// four times. Lines of text make the ink's profile across them jump between
// lines and gaps; and in Latin script more strokes rise above the small
// letters (capitals, b d f h k l t) than hang below them (g j p q y), so a
// line's ink leans to the side its top is on.
class TextOrientation
{
public:
    // Degrees to turn the page clockwise to make its text upright: 0, 90,
    // 180 or 270. 0 where the page shows no lines of text.
    static int uprightTurn(const QImage &page);
};

} // namespace scan

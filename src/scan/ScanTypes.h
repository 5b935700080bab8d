#pragma once

#include <QPointF>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace scan {

// What a kept page looks like in the PDF.
enum class ScanMode { Colour, Grey, BlackAndWhite };

std::optional<ScanMode> scanModeFromName(QStringView name); // "colour", "grey", "bw"
QString scanModeName(ScanMode mode);

// A page's outline in a picture: top left, top right, bottom right, bottom
// left, clockwise on screen, starting at the corner nearest the picture's
// top left. The page's text may be turned any way inside it.
using PageCorners = std::array<QPointF, 4>;

// Where a page finder's answer came from: the whole frame means that no page
// was seen, and is still an answer the user can adjust.
enum class FoundBy { Contours, Lines, WholeFrame };

struct FoundPage
{
    PageCorners corners;
    FoundBy foundBy = FoundBy::WholeFrame;
    double edgeSupport = 0.0; // share of the outline that lies on a page edge, 0..1

    bool found() const { return foundBy != FoundBy::WholeFrame; }
};

PageCorners wholeFrame(int width, int height);
// Puts four points into the order PageCorners promises.
PageCorners orderedCorners(const std::array<QPointF, 4> &points);

} // namespace scan

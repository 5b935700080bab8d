#include "ScanTypes.h"

#include <algorithm>
#include <cmath>

namespace scan {

std::optional<ScanMode> scanModeFromName(QStringView name)
{
    if (name == u"colour" || name == u"color")
        return ScanMode::Colour;
    if (name == u"grey" || name == u"gray")
        return ScanMode::Grey;
    if (name == u"bw")
        return ScanMode::BlackAndWhite;
    return std::nullopt;
}

QString scanModeName(ScanMode mode)
{
    switch (mode) {
    case ScanMode::Colour:
        return QStringLiteral("colour");
    case ScanMode::Grey:
        return QStringLiteral("grey");
    case ScanMode::BlackAndWhite:
        return QStringLiteral("bw");
    }
    return {};
}

PageCorners wholeFrame(int width, int height)
{
    const double right = width - 1;
    const double bottom = height - 1;
    return {QPointF(0, 0), QPointF(right, 0), QPointF(right, bottom), QPointF(0, bottom)};
}

PageCorners orderedCorners(const std::array<QPointF, 4> &points)
{
    // Clockwise around the centre (y grows downwards), then started at the
    // corner nearest the picture's top left.
    QPointF centre;
    for (const QPointF &p : points)
        centre += p / 4.0;
    std::array<QPointF, 4> sorted = points;
    std::sort(sorted.begin(), sorted.end(), [&](const QPointF &a, const QPointF &b) {
        return std::atan2(a.y() - centre.y(), a.x() - centre.x())
             < std::atan2(b.y() - centre.y(), b.x() - centre.x());
    });
    std::size_t first = 0;
    for (std::size_t i = 1; i < 4; ++i) {
        if (sorted[i].x() + sorted[i].y() < sorted[first].x() + sorted[first].y())
            first = i;
    }
    PageCorners ordered;
    for (std::size_t i = 0; i < 4; ++i)
        ordered[i] = sorted[(first + i) % 4];
    return ordered;
}

} // namespace scan

#pragma once

#include "ScanTypes.h"

#include <QSizeF>
#include <QString>

// How close a found page is to the true one, the way the SmartDoc 2015
// challenge measured page finders, and how close recognised text is to the
// text printed.
namespace score {

// The Jaccard index of the found and the true outline, both taken into the
// true page's own frame (of the given size), where the page is a rectangle:
// 1 for a perfect match, 0 for no overlap.
double jaccard(const scan::PageCorners &found, const scan::PageCorners &truth, QSizeF pageSize);

// The largest distance between a true corner and the found corner matched
// to it (the outlines' corners paired in order, starting wherever fits best).
double worstCornerError(const scan::PageCorners &found, const scan::PageCorners &truth);

// Edit distance over the length of the expected text, with runs of white
// space made one space on both sides.
double characterErrorRate(const QString &recognised, const QString &expected);

} // namespace score

#pragma once

#include "ScanTypes.h"

#include <QImage>

namespace scan {

// Finds the page in a camera picture. Works on a copy about 1000 px long:
// first the outlines of edge regions that are four-sided and convex, then,
// when none of them lies on the page's edges all round (a hand over an edge,
// a white page on a light desk, a stapled corner), quadrilaterals built from
// straight edge lines, each ranked by how much of its outline lies on an
// edge. The winner's corners are then fitted to the full-size picture. With
// nothing found, the answer is the whole frame.
//
// find() keeps no state: one finder may serve live frames from any thread.
class PageFinder
{
public:
    struct Settings
    {
        int workingLength = 1000;       // long side of the copy searched
        bool refineAtFullSize = true;   // corner fitting on the full picture
        double minimumPageShare = 0.08; // of the frame's area
    };

    PageFinder();
    explicit PageFinder(Settings settings);

    FoundPage find(const QImage &frame) const;

private:
    Settings m_settings;
};

} // namespace scan

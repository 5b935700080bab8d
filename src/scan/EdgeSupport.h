#pragma once

#include <opencv2/core.hpp>

#include <array>

namespace scan {

// How much of a quadrilateral's outline runs along a page edge in a picture:
// where the picture gets brighter across the outline towards its inside, as
// paper on a desk does. Quadrilaterals found by different means are ranked by
// the same measure.
class EdgeSupport
{
public:
    using Quad = std::array<cv::Point2f, 4>; // clockwise on screen

    struct Score
    {
        double supported = 0.0;   // outline length on an edge, px
        double unsupported = 0.0; // outline length elsewhere, px
        double weakestSide = 0.0; // the least supported side's share, 0..1

        double share() const;
        // Ranks candidates: an outline that leaves the page's edges loses
        // what it gains in length.
        double rank() const { return supported - unsupported; }
    };

    // smoothedGrey: the picture in grey, smoothed, dark details (text) closed.
    explicit EdgeSupport(const cv::Mat &smoothedGrey);

    Score score(const Quad &quad) const;

private:
    bool supportedAt(cv::Point2f point, cv::Point2f inward) const;

    cv::Mat m_gradientX; // CV_16S
    cv::Mat m_gradientY;
};

} // namespace scan

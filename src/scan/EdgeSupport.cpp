#include "EdgeSupport.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scan {

namespace {
// Sobel's 3x3 answer to a step of about 20 grey levels once smoothed: a
// white page on a light grey desk still passes, sensor noise does not.
constexpr int kEdgeStrength = 28;
constexpr double kSampleStep = 1.5;
// Corners may be hidden (a thumb, a staple): their neighbourhood is not held
// against a side.
constexpr double kCornerMargin = 0.04;
} // namespace

double EdgeSupport::Score::share() const
{
    const double total = supported + unsupported;
    return total > 0 ? supported / total : 0.0;
}

EdgeSupport::EdgeSupport(const cv::Mat &smoothedGrey)
{
    cv::Sobel(smoothedGrey, m_gradientX, CV_16S, 1, 0, 3);
    cv::Sobel(smoothedGrey, m_gradientY, CV_16S, 0, 1, 3);
}

bool EdgeSupport::supportedAt(cv::Point2f point, cv::Point2f inward) const
{
    // The outline may sit a pixel off the steepest point of the edge.
    for (int offset = -1; offset <= 1; ++offset) {
        const int x = cvRound(point.x + offset * inward.x);
        const int y = cvRound(point.y + offset * inward.y);
        if (x < 0 || y < 0 || x >= m_gradientX.cols || y >= m_gradientX.rows)
            continue;
        const double gx = m_gradientX.at<short>(y, x);
        const double gy = m_gradientY.at<short>(y, x);
        const double across = gx * inward.x + gy * inward.y;
        const double magnitude = std::hypot(gx, gy);
        if (across > kEdgeStrength && across > 0.7 * magnitude)
            return true;
    }
    return false;
}

EdgeSupport::Score EdgeSupport::score(const Quad &quad) const
{
    Score result;
    result.weakestSide = 1.0;
    for (std::size_t side = 0; side < 4; ++side) {
        const cv::Point2f from = quad[side];
        const cv::Point2f to = quad[(side + 1) % 4];
        const cv::Point2f along = to - from;
        const double length = std::hypot(along.x, along.y);
        if (length < 1.0)
            return Score{0.0, 1.0, 0.0};
        const cv::Point2f direction = along * static_cast<float>(1.0 / length);
        const cv::Point2f inward(-direction.y, direction.x);
        const int samples = std::max(2, static_cast<int>(length / kSampleStep));
        int hits = 0;
        int counted = 0;
        for (int i = 0; i <= samples; ++i) {
            const double t = static_cast<double>(i) / samples;
            if (t < kCornerMargin || t > 1.0 - kCornerMargin)
                continue;
            ++counted;
            if (supportedAt(from + along * static_cast<float>(t), inward))
                ++hits;
        }
        const double share = counted ? static_cast<double>(hits) / counted : 0.0;
        result.supported += share * length;
        result.unsupported += (1.0 - share) * length;
        result.weakestSide = std::min(result.weakestSide, share);
    }
    return result;
}

} // namespace scan

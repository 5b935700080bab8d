// The page finder, straightener and cleaner on synthetic desk scenes: every
// scene's page is found to within the SmartDoc measure and a few pixels at
// the camera's full size, and the cleaned page has even, white paper.
#include "PageCleaner.h"
#include "PageFinder.h"
#include "PageScore.h"
#include "PageStraightener.h"
#include "SyntheticPage.h"

#include "ImageConversion.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace synthetic {
void PrintTo(const Scene &scene, std::ostream *out)
{
    *out << scene.name;
}
} // namespace synthetic

namespace {

const QSizeF kA4(2480, 3508);
const QSize kFrame(synthetic::kFrameWidth, synthetic::kFrameHeight);

class PageFindingTest : public ::testing::TestWithParam<synthetic::Scene>
{
};

TEST_P(PageFindingTest, FindsThePageToWithinTenPixels)
{
    const synthetic::Picture picture = synthetic::photograph(GetParam());
    const scan::FoundPage found = scan::PageFinder().find(picture.frame);

    EXPECT_TRUE(found.found());
    EXPECT_GE(score::jaccard(found.corners, picture.page, kA4), 0.99);
    EXPECT_LE(score::worstCornerError(found.corners, picture.page), 10.0);
}

INSTANTIATE_TEST_SUITE_P(DeskScenes, PageFindingTest, ::testing::ValuesIn(synthetic::deskScenes()),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(PageFinderTest, AnswersTheWholeFrameWhenThereIsNoPage)
{
    // The desks beside the page: grain, stripes and lamp light, but no paper.
    for (const std::size_t scene : {4, 6}) {
        const synthetic::Picture picture = synthetic::photograph(synthetic::deskScenes().at(scene));
        const QImage bareDesk = picture.frame.copy(0, 0, 800, 2448);
        const scan::FoundPage found = scan::PageFinder().find(bareDesk);
        EXPECT_FALSE(found.found()) << synthetic::deskScenes().at(scene).name;
        EXPECT_EQ(found.corners, scan::wholeFrame(800, 2448));
    }
    EXPECT_FALSE(scan::PageFinder().find(QImage()).found());
}

TEST(PageFinderTest, ReadsLiveFramesInTheViewersFormat)
{
    // The viewer's frames arrive as 32-bit pictures, often smaller than a still.
    const synthetic::Picture picture = synthetic::photograph(synthetic::deskScenes().at(4));
    const QImage frame = picture.frame.convertToFormat(QImage::Format_RGB32).scaled(1632, 1224);
    scan::PageCorners halved;
    for (std::size_t i = 0; i < 4; ++i)
        halved[i] = picture.page[i] / 2.0;
    const scan::FoundPage found = scan::PageFinder().find(frame);
    EXPECT_TRUE(found.found());
    EXPECT_GE(score::jaccard(found.corners, halved, kA4), 0.99);
}

TEST(PageStraightenerTest, GivesKnownPapersTheirSizeAt300Dpi)
{
    const auto corners = [](double w, double h) {
        return scan::PageCorners{QPointF(100, 80), QPointF(100 + w, 90), QPointF(100 + w, 90 + h), QPointF(100, 80 + h)};
    };
    EXPECT_EQ(scan::PageStraightener::pageSize(corners(1000, 1420), kFrame), QSize(2480, 3508)); // A4
    EXPECT_EQ(scan::PageStraightener::pageSize(corners(1420, 1000), kFrame), QSize(3508, 2480)); // A4 lying
    EXPECT_EQ(scan::PageStraightener::pageSize(corners(1000, 1290), kFrame), QSize(2550, 3300)); // Letter
    // A receipt keeps its own proportions.
    const QSize receipt = scan::PageStraightener::pageSize(corners(500, 1500), kFrame);
    EXPECT_NEAR(static_cast<double>(receipt.height()) / receipt.width(), 3.0, 0.02);
}

TEST(PageCleanerTest, EvensOutLampAndShadowAndKeepsTheInk)
{
    synthetic::Scene scene = synthetic::deskScenes().at(4); // lamp, shadow, blur, noise
    const synthetic::Picture picture = synthetic::photograph(scene);
    const QImage straight = scan::PageStraightener::straighten(picture.frame, picture.page);
    const QImage grey = scan::PageCleaner::clean(straight, scan::ScanMode::Grey);
    ASSERT_EQ(grey.format(), QImage::Format_Grayscale8);
    ASSERT_EQ(grey.size(), QSize(2480, 3508));

    const cv::Mat before = scan::greyMatFromImage(straight);
    const cv::Mat after = scan::greyMatFromImage(grey);
    // Bare paper in the lit top left and in the shadowed bottom right.
    const cv::Rect lit(300, 2200, 400, 400);
    const cv::Rect shaded(1800, 3000, 400, 400);
    EXPECT_GT(cv::mean(before(lit))[0] - cv::mean(before(shaded))[0], 60.0) << "the scene has no shadow";
    EXPECT_GT(cv::mean(after(lit))[0], 245.0);
    EXPECT_GT(cv::mean(after(shaded))[0], 245.0);
    // The heading stays black.
    double darkest = 255;
    cv::minMaxLoc(after(cv::Rect(300, 300, 1500, 120)), &darkest);
    EXPECT_LT(darkest, 60.0);

    const QImage bw = scan::PageCleaner::clean(straight, scan::ScanMode::BlackAndWhite);
    EXPECT_EQ(bw.format(), QImage::Format_Mono);
    const QImage colour = scan::PageCleaner::clean(straight, scan::ScanMode::Colour);
    EXPECT_EQ(colour.format(), QImage::Format_RGB888);
}

} // namespace

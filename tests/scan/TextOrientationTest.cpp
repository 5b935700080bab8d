// A page photographed turned is recognised upright: which way up its text
// is, from the ink alone.
#include "PageCleaner.h"
#include "SyntheticPage.h"
#include "TextOrientation.h"

#include <gtest/gtest.h>

#include <QTransform>

namespace {

TEST(TextOrientationTest, TellsEveryQuarterTurnOfAPage)
{
    const QImage page = scan::PageCleaner::clean(synthetic::textPage().image, scan::ScanMode::BlackAndWhite);
    for (const int turned : {0, 90, 180, 270}) {
        const QImage photographed = page.transformed(QTransform().rotate(turned));
        EXPECT_EQ((turned + scan::TextOrientation::uprightTurn(photographed)) % 360, 0) << "turned by " << turned;
    }
    QImage blank(2480, 3508, QImage::Format_Grayscale8);
    blank.fill(255);
    EXPECT_EQ(scan::TextOrientation::uprightTurn(blank), 0);
}

} // namespace

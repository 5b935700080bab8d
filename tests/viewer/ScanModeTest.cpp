// The viewer's scan mode in parts: the live outline found off the main
// thread, corner adjustment by keyboard and mouse, the page list, and the
// scan mode's texts in every language.
#include "CornerEditor.h"
#include "OutlineOverlay.h"
#include "PageOutlineTracker.h"
#include "ScanPages.h"
#include "ScanPagesPanel.h"
#include "ScanRecovery.h"
#include "ScanTexts.h"
#include "SyntheticPage.h"
#include "VideoView.h"
#include "PageFinder.h"
#include "config/UserInterfaceController.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace {

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// A synthetic desk photo reduced to the size the camera's pipeline makes for
// a window of about 1000 pixels.
QImage liveFrame(synthetic::Picture &picture)
{
    picture = synthetic::photograph({"wood", synthetic::Desk::Wood});
    return picture.frame.scaledToWidth(1088, Qt::SmoothTransformation);
}

} // namespace

TEST(PageOutlineTrackerTest, FindsThePageOnAWorkerAndKeepsOneSearchInFlight)
{
    synthetic::Picture picture;
    const QImage frame = liveFrame(picture);
    const double scale = double(frame.width()) / picture.frame.width();

    PageOutlineTracker tracker;
    QSignalSpy found(&tracker, &PageOutlineTracker::outlineFound);
    // A burst, as the camera delivers while a search runs: the frames after
    // the first replace each other, so one more search follows, not four.
    for (int i = 0; i < 5; ++i)
        tracker.submit(frame);
    EXPECT_TRUE(tracker.busy());
    ASSERT_TRUE(found.wait(30000));
    EXPECT_NE(tracker.lastSearchThread(), QThread::currentThread());
    EXPECT_NE(tracker.lastSearchThread(), nullptr);

    const auto page = found.at(0).at(0).value<scan::FoundPage>();
    EXPECT_EQ(found.at(0).at(1).toSize(), frame.size());
    ASSERT_TRUE(page.found());
    // The page's corners (the finder orders them from the picture's top left).
    const scan::PageCorners truth = scan::orderedCorners(picture.page);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_LT(distance(page.corners[i], truth[i] * scale), frame.width() * 0.02) << "corner " << i;

    ASSERT_TRUE(found.wait(30000));
    QTest::qWait(PageOutlineTracker::MinimumIntervalMs * 3);
    EXPECT_EQ(found.count(), 2);
    EXPECT_FALSE(tracker.busy());

    // After stop, an answer still on its way is not delivered.
    tracker.submit(frame);
    tracker.stop();
    QTest::qWait(100);
    while (tracker.busy())
        QTest::qWait(50);
    QTest::qWait(PageOutlineTracker::MinimumIntervalMs * 2);
    EXPECT_EQ(found.count(), 2);
}

TEST(OutlineOverlayTest, MapsFramePixelsAsTheViewPlacesThePicture)
{
    // A 400x300 frame in an 800x800 view: fitted to 800x600, centred.
    const QTransform upright = OutlineOverlay::frameToView({400, 300}, {800, 800}, 0, 1.0);
    EXPECT_EQ(upright.map(QPointF(0, 0)), QPointF(0, 100));
    EXPECT_EQ(upright.map(QPointF(400, 300)), QPointF(800, 700));
    // A quarter turn clockwise: the frame's top left goes to the top right.
    const QTransform turned = OutlineOverlay::frameToView({400, 300}, {800, 800}, 90, 1.0);
    const QPointF topLeft = turned.map(QPointF(0, 0));
    EXPECT_NEAR(topLeft.x(), 400 + 300, 1e-6); // drawn 600 wide, 800 high
    EXPECT_NEAR(topLeft.y(), 0, 1e-6);
    // Zoom enlarges round the centre.
    const QTransform zoomed = OutlineOverlay::frameToView({400, 300}, {800, 800}, 0, 2.0);
    EXPECT_EQ(zoomed.map(QPointF(200, 150)), QPointF(400, 400));
    EXPECT_EQ(zoomed.map(QPointF(0, 0)), QPointF(-400, -200));
}

TEST(CornerEditorTest, KeyboardChoosesMovesAndKeepsACorner)
{
    QImage still(800, 600, QImage::Format_RGB32);
    still.fill(Qt::darkGray);
    const scan::PageCorners start{QPointF(100, 100), QPointF(700, 100), QPointF(700, 500), QPointF(100, 500)};
    CornerEditor editor;
    editor.resize(832, 632); // the still at one to one inside the margin
    editor.edit(still, start);
    const double step = editor.keyStep();
    EXPECT_NEAR(step, 1.0, 1e-6);
    QSignalSpy kept(&editor, &CornerEditor::kept);
    QSignalSpy discarded(&editor, &CornerEditor::discarded);

    QTest::keyClick(&editor, Qt::Key_Tab);
    EXPECT_EQ(editor.selectedCorner(), 1);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&editor, Qt::Key_Left);
    QTest::keyClick(&editor, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(editor.corners()[1], QPointF(697, 110));
    // Back round to the first corner, and against the still's edge.
    QTest::keyClick(&editor, Qt::Key_Backtab);
    EXPECT_EQ(editor.selectedCorner(), 0);
    for (int i = 0; i < 12; ++i)
        QTest::keyClick(&editor, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(editor.corners()[0], QPointF(100, 0));

    QTest::keyClick(&editor, Qt::Key_Return);
    ASSERT_EQ(kept.count(), 1);
    const auto corners = kept.at(0).at(1).value<scan::PageCorners>();
    EXPECT_EQ(corners[0], QPointF(100, 0));
    EXPECT_EQ(corners[1], QPointF(697, 110));
    EXPECT_EQ(corners[2], start[2]);
    EXPECT_EQ(kept.at(0).at(0).value<QImage>().size(), still.size());
    EXPECT_EQ(discarded.count(), 0);

    QTest::keyClick(&editor, Qt::Key_Escape);
    EXPECT_EQ(discarded.count(), 1);
    EXPECT_EQ(kept.count(), 1);
}

TEST(CornerEditorTest, MouseDragsTheNearestCornerAndMissesFarFromAll)
{
    QImage still(800, 600, QImage::Format_RGB32);
    still.fill(Qt::darkGray);
    const scan::PageCorners start{QPointF(100, 100), QPointF(700, 100), QPointF(700, 500), QPointF(100, 500)};
    CornerEditor editor;
    editor.resize(832, 632); // one to one, the still 16 px in
    editor.edit(still, start);
    // Far from every corner: nothing moves.
    QTest::mousePress(&editor, Qt::LeftButton, {}, QPoint(416, 316));
    QTest::mouseMove(&editor, QPoint(300, 300));
    QTest::mouseRelease(&editor, Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(editor.corners(), start);
    // Near the bottom right corner (716, 516 in the widget).
    QTest::mousePress(&editor, Qt::LeftButton, {}, QPoint(720, 512));
    EXPECT_EQ(editor.selectedCorner(), 2);
    QTest::mouseMove(&editor, QPoint(666, 466));
    QTest::mouseRelease(&editor, Qt::LeftButton, {}, QPoint(666, 466));
    EXPECT_EQ(editor.corners()[2], QPointF(650, 450));
}

TEST(ScanPagesTest, ReordersDeletesAndRotatesPages)
{
    ScanPages pages;
    QSignalSpy changed(&pages, &ScanPages::changed);
    for (int width : {100, 200, 300}) {
        QImage page(width, 50, QImage::Format_Grayscale8);
        page.fill(0xff);
        pages.add(page);
    }
    pages.add(QImage()); // nothing to keep
    ASSERT_EQ(pages.count(), 3);
    EXPECT_EQ(changed.count(), 3);

    EXPECT_TRUE(pages.move(2, 0));
    EXPECT_EQ(pages.page(0).width(), 300);
    EXPECT_EQ(pages.page(1).width(), 100);
    EXPECT_EQ(pages.page(2).width(), 200);

    EXPECT_TRUE(pages.rotate(1));
    EXPECT_EQ(pages.page(1).size(), QSize(50, 100));
    EXPECT_EQ(pages.page(1).format(), QImage::Format_Grayscale8);

    EXPECT_TRUE(pages.remove(0));
    ASSERT_EQ(pages.count(), 2);
    EXPECT_EQ(pages.page(0).size(), QSize(50, 100));
    EXPECT_EQ(pages.page(1).width(), 200);
    EXPECT_EQ(changed.count(), 6);

    // Out of range: refused, nothing changes, nothing said.
    EXPECT_FALSE(pages.move(0, 2));
    EXPECT_FALSE(pages.move(-1, 0));
    EXPECT_FALSE(pages.remove(2));
    EXPECT_FALSE(pages.rotate(-1));
    EXPECT_EQ(pages.count(), 2);
    EXPECT_EQ(changed.count(), 6);
}

TEST(ScanPagesTest, PagesAreUnsavedUntilAPdfHoldsThemAsTheyAre)
{
    ScanPages pages;
    EXPECT_FALSE(pages.unsaved()); // nothing to lose
    QImage page(100, 150, QImage::Format_Grayscale8);
    page.fill(0xff);
    pages.add(page);
    pages.add(page);
    EXPECT_TRUE(pages.unsaved());

    // A PDF written from the pages as they stand.
    pages.markSaved(pages.revision());
    EXPECT_FALSE(pages.unsaved());
    // Any change after it: unsaved again.
    pages.rotate(1);
    EXPECT_TRUE(pages.unsaved());
    // A PDF begun before a change does not hold the change.
    const int writingBegan = pages.revision();
    pages.remove(0);
    pages.markSaved(writingBegan);
    EXPECT_TRUE(pages.unsaved());
    // Nothing left: nothing to lose, whatever was saved.
    pages.clear();
    EXPECT_FALSE(pages.unsaved());
}

// A run that ends before its pages are in a PDF (a crash, a logout) leaves
// them on disk in their order, and the next run gets them back.
TEST(ScanRecoveryTest, UnsavedPagesOutliveTheRunAndComeBackInTheirOrder)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString folder = home.filePath(QStringLiteral("state/tessel/unsaved-scans"));
    auto page = [](int width, int grey) {
        QImage image(width, 140, QImage::Format_Grayscale8);
        image.fill(grey);
        return image;
    };
    auto filesIn = [&folder] { return QDir(folder).entryList(QDir::Files, QDir::Name); };
    {
        ScanPages pages;
        ScanRecovery recovery(pages, folder);
        EXPECT_TRUE(recovery.leftBehind().isEmpty());
        pages.add(page(100, 10));
        pages.add(page(200, 20));
        pages.add(page(300, 30));
        QCoreApplication::processEvents();
        recovery.waitForWrites();
        EXPECT_EQ(filesIn().size(), 4); // three pages and their order

        // Saved as a PDF: nothing left to lose, nothing left on disk.
        pages.markSaved(pages.revision());
        QCoreApplication::processEvents();
        recovery.waitForWrites();
        EXPECT_TRUE(filesIn().isEmpty());

        // Changed after the PDF, and the run ends at once, without a PDF
        // and before the event loop ran again: kept as the list stands.
        pages.move(2, 0);
        pages.rotate(1);
        pages.remove(2);
    }
    EXPECT_EQ(filesIn().size(), 3);
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());

    ScanPages next;
    ScanRecovery recovery(next, folder);
    ASSERT_EQ(recovery.leftBehind().size(), 2);
    // Pages scanned before the answer do not touch what waits on disk.
    next.add(page(50, 50));
    QCoreApplication::processEvents();
    recovery.waitForWrites();
    EXPECT_EQ(filesIn().size(), 3);

    QSignalSpy restored(&recovery, &ScanRecovery::restored);
    recovery.restore();
    ASSERT_TRUE(restored.wait(10000));
    EXPECT_EQ(restored.at(0).at(0).toInt(), 2);
    ASSERT_EQ(next.count(), 3);
    EXPECT_EQ(next.page(1).size(), QSize(300, 140)); // the page moved first
    EXPECT_EQ(next.page(1).pixelColor(0, 0).red(), 30);
    EXPECT_EQ(next.page(2).size(), QSize(140, 100)); // the turned one
    EXPECT_TRUE(next.unsaved());
    QCoreApplication::processEvents();
    recovery.waitForWrites();
    EXPECT_EQ(filesIn().size(), 4); // all three now follow the list

    // A damaged list names nothing that is not a page of ours.
    QFile order(QDir(folder).filePath(QStringLiteral("pages.txt")));
    ASSERT_TRUE(order.open(QIODevice::Append));
    order.write("../../.bashrc\npage-nothere.png\n");
    order.close();
    ScanPages third;
    ScanRecovery again(third, folder);
    EXPECT_EQ(again.leftBehind().size(), 3);
    again.discard();
    again.waitForWrites();
    EXPECT_TRUE(filesIn().isEmpty());
}

TEST(ScanPagesPanelTest, ButtonsAndDraggingReorderTurnAndDeleteThePagesShown)
{
    const UserInterfaceController english(QStringLiteral(TESSEL_LANGUAGE_FILE), QStringLiteral("en_US"));
    const ScanTexts texts(english);
    ScanPages pages;
    ScanPagesPanel panel(texts, pages);
    auto *save = panel.findChild<QPushButton *>(QStringLiteral("savePdf"));
    ASSERT_NE(save, nullptr);
    EXPECT_FALSE(save->isEnabled()); // nothing to save yet
    auto widths = [&] {
        std::vector<int> result;
        for (int i = 0; i < pages.count(); ++i)
            result.push_back(pages.page(i).width());
        return result;
    };
    for (int width : {100, 200, 300}) {
        QImage page(width, 150, QImage::Format_Grayscale8);
        page.fill(0xff);
        pages.add(page);
    }
    ASSERT_EQ(panel.list()->count(), 3);
    EXPECT_TRUE(save->isEnabled());

    panel.list()->setCurrentRow(2);
    panel.findChild<QPushButton *>(QStringLiteral("moveUp"))->click();
    EXPECT_EQ(widths(), (std::vector<int>{100, 300, 200}));
    EXPECT_EQ(panel.selectedPage(), 1); // the moved page stays chosen
    panel.findChild<QPushButton *>(QStringLiteral("moveDown"))->click();
    EXPECT_EQ(widths(), (std::vector<int>{100, 200, 300}));

    // A drag of the first page below the last, as the list view makes it.
    ASSERT_TRUE(panel.list()->model()->moveRows(QModelIndex(), 0, 1, QModelIndex(), 3));
    QCoreApplication::processEvents();
    EXPECT_EQ(widths(), (std::vector<int>{200, 300, 100}));
    ASSERT_EQ(panel.list()->count(), 3);
    EXPECT_EQ(panel.list()->item(0)->text(), QStringLiteral("1"));
    EXPECT_EQ(panel.selectedPage(), 2);

    panel.findChild<QPushButton *>(QStringLiteral("rotatePage"))->click();
    EXPECT_EQ(pages.page(2).size(), QSize(150, 100));
    panel.list()->setCurrentRow(0);
    panel.findChild<QPushButton *>(QStringLiteral("deletePage"))->click();
    EXPECT_EQ(widths(), (std::vector<int>{300, 150}));
    EXPECT_EQ(panel.list()->count(), 2);

    panel.setSaving(true);
    EXPECT_FALSE(save->isEnabled());
    panel.setSaving(false);
    EXPECT_TRUE(save->isEnabled());
}

TEST(ScanTextsTest, EveryLanguageHasEveryScanCaptionWithItsPlaceholders)
{
    const QString file = QStringLiteral(TESSEL_LANGUAGE_FILE);
    const QStringList locales{"en_US", "da_DK", "nl_BE", "fr_FR", "hu_HU", "it_IT", "nb_NO", "pl_PL", "pt_BR", "ru_RU",
                              "sv_SE", "ar_SA", "ja_JP", "fi_FI", "de_DE", "es_ES", "zh_CN", "zh_TW", "ca_ES"};
    const QRegularExpression placeholder(QStringLiteral("%[0-9]"));
    for (const QString &locale : locales) {
        const UserInterfaceController language(file, locale);
        for (int i = 0; i < ScanTexts::KeyCount; ++i) {
            const auto key = static_cast<ScanTexts::Key>(i);
            QString caption;
            ASSERT_TRUE(language.getCaption(ScanTexts::keyPath(key), caption))
                << locale.toStdString() << " " << ScanTexts::keyPath(key).toStdString();
            EXPECT_FALSE(caption.isEmpty());
            EXPECT_EQ(placeholder.globalMatch(caption).hasNext(), placeholder.globalMatch(ScanTexts::english(key)).hasNext())
                << locale.toStdString() << " " << ScanTexts::keyPath(key).toStdString();
            if (locale != QLatin1String("en_US"))
                continue;
            EXPECT_EQ(caption, ScanTexts::english(key)) << ScanTexts::keyPath(key).toStdString();
        }
    }
    const UserInterfaceController missing(QStringLiteral("/nonexistent.xml"), QStringLiteral("de_DE"));
    EXPECT_EQ(ScanTexts(missing).text(ScanTexts::Key::SavePdf), QStringLiteral("Save PDF"));
}

// What scan mode looks like on a desk photo, for a reviewer: the outline over
// the picture, and the corners over the full-size still.
TEST(ScanModeLookTest, OutlineOverThePictureAndCornersOverTheStill)
{
    QDir().mkpath(QStringLiteral(TESSEL_SCREENSHOT_FOLDER));
    synthetic::Picture picture;
    const QImage frame = liveFrame(picture);

    VideoView view;
    view.resize(900, 700);
    auto *overlay = new OutlineOverlay(&view);
    view.show();
    view.showFrame(frame, picture.frame.size());
    PageOutlineTracker tracker;
    QSignalSpy found(&tracker, &PageOutlineTracker::outlineFound);
    tracker.submit(frame);
    ASSERT_TRUE(found.wait(30000));
    const auto page = found.at(0).at(0).value<scan::FoundPage>();
    ASSERT_TRUE(page.found());
    overlay->setOutline(page.corners, frame.size(), true);
    const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(shot.save(QStringLiteral(TESSEL_SCREENSHOT_FOLDER "/scan-outline-desk.png")));
    // The outline's blue lies on the page's mapped corner.
    const QTransform toView = OutlineOverlay::frameToView(frame.size(), view.size(), 0, 1.0);
    const QPoint corner = toView.map(page.corners[0]).toPoint() * shot.devicePixelRatio();
    const QColor atCorner = shot.pixelColor(corner);
    EXPECT_GT(atCorner.blue(), atCorner.red() + 80) << corner.x() << "," << corner.y();

    CornerEditor editor;
    editor.resize(900, 700);
    editor.setHint(QStringLiteral("Enter keeps the page, Esc discards it."));
    editor.edit(picture.frame, scan::PageFinder().find(picture.frame).corners);
    editor.show();
    ASSERT_TRUE(editor.grab().toImage().save(QStringLiteral(TESSEL_SCREENSHOT_FOLDER "/scan-corners-desk.png")));
}

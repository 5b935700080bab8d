// The viewer's parts that decide something on their own: the format, the
// camera, the capture file, the texts, the frame conversion, the picture.
#include "CameraLocator.h"
#include "CaptureWriter.h"
#include "FakePlatform.h"
#include "FormatChooser.h"
#include "FrameConverter.h"
#include "VideoView.h"
#include "ViewerTexts.h"
#include "config/UserInterfaceController.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QVideoFrame>

#include <gtest/gtest.h>

namespace {

TEST(FormatChooserTest, HighestFluentResolutionUnlessAnotherIsRemembered)
{
    const QList<FormatChooser::Offer> offers{
        {{640, 480}, 30}, {{1600, 1200}, 5}, {{1280, 720}, 15}, {{1280, 720}, 10}, {{320, 240}, 30}};
    EXPECT_EQ(FormatChooser::choose(offers), 2); // 1600x1200 is too slow
    EXPECT_EQ(FormatChooser::choose(offers, QSize(640, 480)), 0);
    // A remembered size the camera no longer offers fluently is passed over.
    EXPECT_EQ(FormatChooser::choose(offers, QSize(1600, 1200)), 2);
    // Nothing fluent: the fastest still gives a picture.
    EXPECT_EQ(FormatChooser::choose({{{1600, 1200}, 5}, {{800, 600}, 10}}), 1);
    EXPECT_FALSE(FormatChooser::choose({}));
}

TEST(CameraLocatorTest, CountsDevicesTheWatchdogsWayAndMatchesQtsCameras)
{
    fakes::FakeVideoDevices devices;
    devices.setDevices(std::vector<std::optional<std::string>>{
        std::nullopt, // a device whose path cannot be read is not counted, as the watchdog does not
        std::string("/dev/video0 usb#vid_0bda&pid_58f4 USB2.0 HD UVC WebCam: USB2.0 HD"),
        std::string("/dev/video4 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer"),
        std::string("/dev/video6 Integrated Camera")});
    const CameraLocator locator(devices);
    EXPECT_FALSE(locator.nodeForIndex(3));
    EXPECT_FALSE(locator.nodeForIndex(-1));
    const auto camera = locator.nodeForIndex(1);
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->node, QStringLiteral("/dev/video4"));
    EXPECT_EQ(camera->name, QStringLiteral("Brivara tessel Visualizer"));
    const auto last = locator.nodeForIndex(2);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->name, QStringLiteral("Integrated Camera"));

    // By node where Qt names cameras by node; else by name, the first of it.
    const QList<CameraLocator::ListedCamera> byNode{{"/dev/video0", "USB2.0 HD UVC WebCam: USB2.0 HD"},
                                                    {"/dev/video4", "Brivara tessel Visualizer"}};
    EXPECT_EQ(CameraLocator::cameraFor(*camera, byNode), 1);
    const QList<CameraLocator::ListedCamera> numbered{{"0", "USB2.0 HD UVC WebCam: USB2.0 HD"},
                                                      {"1", "Brivara tessel Visualizer"},
                                                      {"2", "Brivara tessel Visualizer"}};
    EXPECT_EQ(CameraLocator::cameraFor(*camera, numbered), 1);
    EXPECT_FALSE(CameraLocator::cameraFor({QStringLiteral("/dev/video8"), QStringLiteral("Other")}, numbered));
}

TEST(CaptureWriterTest, TimestampedFilesWholeOrNotAtAll)
{
    QTemporaryDir dir;
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 9));
    const QString folder = dir.filePath(QStringLiteral("Pictures"));

    const auto first = CaptureWriter::write(picture, folder, CaptureWriter::Format::Png, when);
    ASSERT_TRUE(first.saved) << first.error.toStdString();
    EXPECT_EQ(QFileInfo(first.path).fileName(), QStringLiteral("Tessel 2026-12-08 14-05-09.png"));
    EXPECT_EQ(QImage(first.path).pixelColor(5, 5), QColor(10, 200, 30));
    const auto second = CaptureWriter::write(picture, folder, CaptureWriter::Format::Jpeg, when);
    const auto third = CaptureWriter::write(picture, folder, CaptureWriter::Format::Png, when);
    EXPECT_EQ(QFileInfo(second.path).fileName(), QStringLiteral("Tessel 2026-12-08 14-05-09.jpg"));
    EXPECT_EQ(QFileInfo(third.path).fileName(), QStringLiteral("Tessel 2026-12-08 14-05-09 (2).png"));
    EXPECT_FALSE(QImage(second.path).isNull());

    // A folder that cannot be made or written (a file in the way; root
    // writes anywhere else): an error, and nothing left behind.
    QFile blocker(dir.filePath(QStringLiteral("NotAFolder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto failed = CaptureWriter::write(picture, blocker.fileName(), CaptureWriter::Format::Png, when);
    EXPECT_FALSE(failed.saved);
    EXPECT_FALSE(failed.error.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("NotAFolder")});
}

TEST(ViewerTextsTest, EveryLanguageHasEveryCaptionWithItsPlaceholders)
{
    const QString file = QStringLiteral(TESSEL_LANGUAGE_FILE);
    const QStringList locales{"en_US", "da_DK", "nl_BE", "fr_FR", "hu_HU", "it_IT", "nb_NO", "pl_PL", "pt_BR", "ru_RU",
                              "sv_SE", "ar_SA", "ja_JP", "fi_FI", "de_DE", "es_ES", "zh_CN", "zh_TW", "ca_ES"};
    const QRegularExpression placeholder(QStringLiteral("%[0-9]"));
    for (const QString &locale : locales) {
        const UserInterfaceController language(file, locale);
        EXPECT_EQ(language.isRightToLeft(), locale == QLatin1String("ar_SA")) << locale.toStdString();
        QStringList englishCaptions;
        for (int i = 0; i < ViewerTexts::KeyCount; ++i) {
            const auto key = static_cast<ViewerTexts::Key>(i);
            QString caption;
            ASSERT_TRUE(language.getCaption(ViewerTexts::keyPath(key), caption))
                << locale.toStdString() << " " << ViewerTexts::keyPath(key).toStdString();
            EXPECT_FALSE(caption.isEmpty());
            QStringList want, have;
            for (const auto &match : placeholder.globalMatch(ViewerTexts::english(key)))
                want << match.captured();
            for (const auto &match : placeholder.globalMatch(caption))
                have << match.captured();
            want.sort();
            have.sort();
            EXPECT_EQ(have, want) << locale.toStdString() << " " << ViewerTexts::keyPath(key).toStdString();
        }
    }
    // English in the file is what the program falls back on.
    const UserInterfaceController english(file, QStringLiteral("en_US"));
    const ViewerTexts texts(english);
    for (int i = 0; i < ViewerTexts::KeyCount; ++i)
        EXPECT_EQ(texts.text(static_cast<ViewerTexts::Key>(i)), ViewerTexts::english(static_cast<ViewerTexts::Key>(i)));
    // A file without the viewer's section still gives every text.
    const UserInterfaceController missing(QStringLiteral("/nonexistent.xml"), QStringLiteral("de_DE"));
    EXPECT_EQ(ViewerTexts(missing).text(ViewerTexts::Key::Freeze), QStringLiteral("Freeze"));
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3
           && std::abs(a.blue() - b.blue()) <= 3;
}

TEST(FrameConverterTest, YuyvColoursComeOutRight)
{
    // Two pixel pairs: white/white and red/red (BT.601 limited range).
    const uchar yuyv[] = {235, 128, 235, 128, 81, 90, 81, 240};
    const QImage image = frame_converter::fromYuyv(yuyv, 4, 1, 8);
    EXPECT_TRUE(near(image.pixelColor(0, 0), Qt::white)) << image.pixelColor(0, 0).name().toStdString();
    EXPECT_TRUE(near(image.pixelColor(3, 0), QColor(255, 0, 0))) << image.pixelColor(3, 0).name().toStdString();
}

TEST(FrameConverterTest, PlanarFramesTakeEachPixelsOwnChroma)
{
    // 4x4 frames in four 2x2 chroma blocks: white, red / blue, white. A mixed
    // up plane, stride or row shows as a wrong colour in some block.
    struct Chroma
    {
        uchar u, v;
    };
    const Chroma white{128, 128}, red{90, 240}, blue{240, 110};
    const Chroma blocks[2][2] = {{white, red}, {blue, white}};
    const uchar luma[2][2] = {{235, 81}, {41, 235}};
    for (const auto format : {QVideoFrameFormat::Format_NV12, QVideoFrameFormat::Format_YUV420P}) {
        QVideoFrame frame(QVideoFrameFormat(QSize(4, 4), format));
        ASSERT_TRUE(frame.map(QVideoFrame::WriteOnly));
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x)
                frame.bits(0)[y * frame.bytesPerLine(0) + x] = luma[y / 2][x / 2];
        }
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 2; ++column) {
                const Chroma c = blocks[row][column];
                if (format == QVideoFrameFormat::Format_NV12) {
                    uchar *uv = frame.bits(1) + row * frame.bytesPerLine(1) + column * 2;
                    uv[0] = c.u;
                    uv[1] = c.v;
                } else {
                    frame.bits(1)[row * frame.bytesPerLine(1) + column] = c.u;
                    frame.bits(2)[row * frame.bytesPerLine(2) + column] = c.v;
                }
            }
        }
        frame.unmap();
        const QImage image = frame_converter::toImage(frame);
        ASSERT_EQ(image.size(), QSize(4, 4));
        const QColor want[2][2] = {{Qt::white, QColor(255, 0, 0)}, {QColor(0, 0, 255), Qt::white}};
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                const QColor have = image.pixelColor(x, y);
                EXPECT_TRUE(near(have, want[y / 2][x / 2]))
                    << int(format) << " at " << x << "," << y << ": " << have.name().toStdString();
            }
        }
    }
}

TEST(VideoViewTest, TurnsZoomsAndFreezesThePicture)
{
    VideoView view;
    view.resize(400, 300);
    QImage frame(40, 20, QImage::Format_RGB32);
    frame.fill(Qt::blue);
    frame.setPixelColor(0, 0, Qt::red); // top left
    view.showFrame(frame);
    EXPECT_FALSE(view.showsPlaceholder());

    view.rotateClockwise();
    QImage turned = view.picture();
    EXPECT_EQ(turned.size(), QSize(20, 40));
    EXPECT_EQ(turned.pixelColor(19, 0), QColor(Qt::red)); // top left went to top right
    view.setRotation(450);
    EXPECT_EQ(view.rotation(), 90);

    for (int i = 0; i < 20; ++i)
        view.zoomIn();
    EXPECT_DOUBLE_EQ(view.zoom(), VideoView::MaxZoom);
    for (int i = 0; i < 20; ++i)
        view.zoomOut();
    EXPECT_DOUBLE_EQ(view.zoom(), VideoView::MinZoom);

    view.setFrozen(true);
    QImage next(40, 20, QImage::Format_RGB32);
    next.fill(Qt::green);
    view.showFrame(next);
    EXPECT_EQ(view.picture().pixelColor(5, 5), QColor(Qt::blue));
    view.setFrozen(false);
    EXPECT_EQ(view.picture().pixelColor(5, 5), QColor(Qt::green));

    view.clearPicture();
    EXPECT_TRUE(view.showsPlaceholder());
}

} // namespace

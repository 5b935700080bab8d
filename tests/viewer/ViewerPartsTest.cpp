// The viewer's parts that decide something on their own: the format, the
// camera, the capture file, the texts, the frame conversion, the picture.
#include "CameraFeed.h"
#include "CameraLocator.h"
#include "CaptureWriter.h"
#include "FakePlatform.h"
#include "FormatChooser.h"
#include "FrameConverter.h"
#include "JpegFrame.h"
#include "VideoView.h"
#include "ViewerSettings.h"
#include "ViewerTexts.h"
#include "config/UserInterfaceController.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTemporaryDir>
#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

#include <map>

namespace {

platform::CameraMode mode(const char *fourcc, int width, int height, std::uint32_t rate)
{
    const std::uint32_t code = std::uint32_t(fourcc[0]) | std::uint32_t(fourcc[1]) << 8 | std::uint32_t(fourcc[2]) << 16
                               | std::uint32_t(fourcc[3]) << 24;
    return {code, width, height, 1, rate};
}

TEST(FormatChooserTest, PicksForPaperFromARealDocumentCamerasOffers)
{
    // As a 8 MP USB 2.0 document camera lists them: H.264 first (which the
    // viewer cannot show), MJPEG at full size and video sizes, YUYV only
    // small or slow, and a 16:9 mode faster than the 4:3 ones.
    const QList<platform::CameraMode> offers{
        mode("H264", 3840, 2160, 30), mode("H264", 3264, 2448, 30),
        mode("MJPG", 3264, 2448, 15), mode("MJPG", 2592, 1944, 15), mode("MJPG", 1920, 1080, 30),
        mode("MJPG", 1920, 1080, 15), mode("MJPG", 1280, 720, 30), mode("MJPG", 640, 480, 30),
        mode("YUYV", 640, 480, 30), mode("YUYV", 1920, 1080, 5), mode("YUYV", 3264, 2448, 2),
    };
    // Live: the sensor's 4:3 at 15 fps, MJPEG; never H.264.
    EXPECT_EQ(FormatChooser::live(offers), 2);
    // Capture: the largest there is, and MJPEG where it comes both ways.
    EXPECT_EQ(FormatChooser::largest(offers), 2);
    // The user's choice wins while offered; at 640x480 uncompressed.
    EXPECT_EQ(FormatChooser::live(offers, FormatChooser::Choice{{1920, 1080}, 30}), 4);
    EXPECT_EQ(FormatChooser::live(offers, FormatChooser::Choice{{640, 480}, 30}), 8);
    EXPECT_EQ(FormatChooser::live(offers, FormatChooser::Choice{{800, 600}, 30}), 2); // gone
    // The menu: each size and rate once, largest first, no H.264.
    const QList<FormatChooser::Choice> menu = FormatChooser::choices(offers);
    ASSERT_EQ(menu.size(), 8);
    EXPECT_EQ(menu.front().size, QSize(3264, 2448));
    EXPECT_DOUBLE_EQ(menu.front().rate, 15);

    // A sensor whose full size is too slow for a live picture: the largest
    // fluent mode of its aspect, not a faster one of another.
    const QList<platform::CameraMode> slow{mode("MJPG", 4000, 3000, 5), mode("MJPG", 1920, 1080, 30),
                                           mode("MJPG", 1600, 1200, 15), mode("YUYV", 1600, 1200, 15)};
    EXPECT_EQ(FormatChooser::live(slow), 2);
    // Nothing fluent: the fastest still gives a picture; nothing usable: none.
    EXPECT_EQ(FormatChooser::live({mode("YUYV", 1600, 1200, 5), mode("YUYV", 800, 600, 10)}), 1);
    EXPECT_FALSE(FormatChooser::live({mode("H264", 1920, 1080, 30)}));
}

TEST(CameraLocatorTest, CountsDevicesTheWatchdogsWayAndKnowsTheCameraAgain)
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

    // Remembered by USB ids and name; a camera not on USB by its name.
    EXPECT_EQ(camera->key(), QStringLiteral("7a3e:4b10 Brivara tessel Visualizer"));
    EXPECT_EQ(last->key(), QStringLiteral("Integrated Camera"));
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
    EXPECT_EQ(failed.problem, CaptureWriter::Problem::Folder); // shown in the user's language
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

TEST(FrameConverterTest, ColoursFollowTheFramesRangeAndMatrix)
{
    using frame_converter::Colour;
    // Black and white at both ends of each range: limited range stretches
    // 16..235 to 0..255; full range keeps 0 and 255 (and must not clip
    // light grey on paper to white).
    const uchar limited[] = {16, 128, 235, 128};
    QImage image = frame_converter::fromYuyv(limited, 2, 1, 4);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(1, 0), QColor(255, 255, 255));
    const uchar full[] = {0, 128, 255, 128, 16, 128, 235, 128};
    image = frame_converter::fromYuyv(full, 4, 1, 8, false, Colour{true, false});
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(1, 0), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(2, 0), QColor(16, 16, 16));
    EXPECT_EQ(image.pixelColor(3, 0), QColor(235, 235, 235));

    // Pure red in each matrix's own coding comes out red, and the other
    // matrix would turn it (BT.601's red read as BT.709 gains green).
    const uchar red601[] = {81, 90, 81, 240};
    const uchar red709[] = {63, 102, 63, 240};
    EXPECT_TRUE(near(frame_converter::fromYuyv(red601, 2, 1, 4).pixelColor(0, 0), QColor(255, 0, 0)));
    EXPECT_TRUE(near(frame_converter::fromYuyv(red709, 2, 1, 4, false, Colour{false, true}).pixelColor(0, 0),
                     QColor(255, 0, 0)));
    EXPECT_FALSE(near(frame_converter::fromYuyv(red601, 2, 1, 4, false, Colour{false, true}).pixelColor(0, 0),
                      QColor(255, 0, 0)));
    // UYVY is the same with the bytes swapped.
    const uchar uyvy[] = {90, 81, 240, 81};
    EXPECT_TRUE(near(frame_converter::fromYuyv(uyvy, 2, 1, 4, true).pixelColor(1, 0), QColor(255, 0, 0)));
}

TEST(FrameConverterTest, PlanarFramesTakeEachPixelsOwnChroma)
{
    // 4x4 frames in four 2x2 chroma blocks: white, red / blue, white. A mixed
    // up plane, stride or row shows as a wrong colour in some block. Strides
    // wider than the picture, as GStreamer pads them.
    struct Chroma
    {
        uchar u, v;
    };
    const Chroma white{128, 128}, red{90, 240}, blue{240, 110};
    const Chroma blocks[2][2] = {{white, red}, {blue, white}};
    const uchar lumaValues[2][2] = {{235, 81}, {41, 235}};
    constexpr int LumaStride = 8, ChromaStride = 8;
    uchar luma[4 * LumaStride] = {};
    uchar nv12[2 * ChromaStride] = {};
    uchar u[2 * ChromaStride] = {}, v[2 * ChromaStride] = {};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            luma[y * LumaStride + x] = lumaValues[y / 2][x / 2];
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const Chroma c = blocks[row][column];
            nv12[row * ChromaStride + column * 2] = c.u;
            nv12[row * ChromaStride + column * 2 + 1] = c.v;
            u[row * ChromaStride + column] = c.u;
            v[row * ChromaStride + column] = c.v;
        }
    }
    const QImage images[] = {frame_converter::fromNv12(luma, LumaStride, nv12, ChromaStride, 4, 4),
                             frame_converter::fromI420(luma, LumaStride, u, ChromaStride, v, ChromaStride, 4, 4)};
    const QColor want[2][2] = {{Qt::white, QColor(255, 0, 0)}, {QColor(0, 0, 255), Qt::white}};
    for (const QImage &image : images) {
        ASSERT_EQ(image.size(), QSize(4, 4));
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                const QColor have = image.pixelColor(x, y);
                EXPECT_TRUE(near(have, want[y / 2][x / 2])) << x << "," << y << ": " << have.name().toStdString();
            }
        }
    }
    // Every second pixel for a smaller view: one pixel of each block.
    const QImage half = frame_converter::fromI420(luma, LumaStride, u, ChromaStride, v, ChromaStride, 4, 4, {}, 2);
    ASSERT_EQ(half.size(), QSize(2, 2));
    EXPECT_TRUE(near(half.pixelColor(1, 0), QColor(255, 0, 0)));
    EXPECT_TRUE(near(half.pixelColor(0, 1), QColor(0, 0, 255)));
}

TEST(JpegFrameTest, CameraFramesGetTheStandardTablesAndNothingElseChanges)
{
    // A frame as UVC cameras send it: encoded, Huffman tables taken out,
    // padding after the end.
    QImage picture(64, 32, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 40));
    QByteArray encoded;
    {
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.save(&buffer, "JPEG", 90));
    }
    QByteArray stripped;
    qsizetype at = 2;
    stripped = encoded.left(2);
    while (at + 4 <= encoded.size() && uchar(encoded[at]) == 0xFF) {
        const uchar marker = uchar(encoded[at + 1]);
        const qsizetype length = 2 + (qsizetype(uchar(encoded[at + 2])) << 8 | uchar(encoded[at + 3]));
        if (marker == 0xDA) {
            stripped += encoded.mid(at);
            break;
        }
        if (marker != 0xC4)
            stripped += encoded.mid(at, length);
        at += length;
    }
    ASSERT_TRUE(jpeg_frame::hasHuffmanTables(encoded));
    ASSERT_FALSE(jpeg_frame::hasHuffmanTables(stripped));
    const QByteArray padded = stripped + QByteArray(5000, '\0');

    const QByteArray camera = jpeg_frame::trimmed(padded);
    EXPECT_EQ(camera, stripped);
    const QByteArray saved = jpeg_frame::withStandardTables(camera);
    EXPECT_TRUE(jpeg_frame::hasHuffmanTables(saved));
    // The camera's bytes, with one DHT segment (4 + 416 bytes) before the scan.
    const qsizetype scan = stripped.indexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(scan, 0);
    EXPECT_EQ(saved.size(), stripped.size() + 420);
    EXPECT_EQ(saved.left(scan), stripped.left(scan));
    EXPECT_EQ(saved.mid(scan + 420), stripped.mid(scan));
    // Qt's encoder writes the standard tables too: a reader decodes the same.
    const QImage back = QImage::fromData(saved, "JPEG");
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.pixelColor(10, 10), QImage::fromData(encoded, "JPEG").pixelColor(10, 10));
    // Our decoder takes the stripped frame directly, at a reduced scale.
    MjpegDecoder decoder;
    EXPECT_EQ(decoder.frameSize(reinterpret_cast<const uchar *>(padded.constData()), padded.size()), QSize(64, 32));
    const QImage half = decoder.decode(reinterpret_cast<const uchar *>(padded.constData()), padded.size(), QSize(30, 15));
    EXPECT_EQ(half.size(), QSize(32, 16));
    EXPECT_TRUE(near(half.pixelColor(8, 8), back.pixelColor(16, 16)));
    EXPECT_TRUE(decoder.decode(reinterpret_cast<const uchar *>("\xFF\xD8junk"), 6, {}).isNull());

    // A turned view: an Exif orientation, and otherwise the same bytes.
    const QByteArray turned = jpeg_frame::withOrientation(saved, 90);
    EXPECT_EQ(turned.size(), saved.size() + 36);
    QImageReader reader(turned.constData() ? new QBuffer(const_cast<QByteArray *>(&turned)) : nullptr);
    reader.setAutoTransform(true);
    EXPECT_EQ(reader.read().size(), QSize(32, 64));
    delete reader.device();
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

using platform::CameraControl;
using platform::CameraSetting;

// A camera's device with a focus and its automatic switch (the manual value
// refused while the switch is on, as uvcvideo does) and a brightness.
class FakeCameraDevice final : public platform::CameraDevice
{
public:
    struct State
    {
        std::vector<platform::CameraMode> modes;
        std::map<CameraSetting, CameraControl> controls;
    };
    explicit FakeCameraDevice(std::shared_ptr<State> state)
        : state(std::move(state))
    {
    }
    std::vector<platform::CameraMode> modes() override { return state->modes; }
    std::vector<std::pair<CameraSetting, CameraControl>> controls() override
    {
        std::vector<std::pair<CameraSetting, CameraControl>> listed;
        for (auto [setting, control] : state->controls) {
            control.inactive = setting == CameraSetting::Focus && state->controls[CameraSetting::FocusAuto].value != 0;
            listed.emplace_back(setting, control);
        }
        return listed;
    }
    bool setControl(std::uint32_t id, std::int32_t value) override
    {
        for (const auto &[setting, control] : controls()) {
            if (control.id != id)
                continue;
            if (control.inactive || value < control.minimum || value > control.maximum)
                return false;
            state->controls[setting].value = value;
            return true;
        }
        return false;
    }

private:
    std::shared_ptr<State> state;
};

TEST(CameraFeedTest, PutsBackTheCamerasSavedChoiceAndControlsAndResetsThem)
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brivara"), QStringLiteral("tessel")).clear();
    const CameraLocator::VideoNode node{QStringLiteral("/dev/tessel-test-no-such-node"),
                                        QStringLiteral("Brivara tessel Visualizer"), QStringLiteral("7a3e:4b10")};
    ViewerSettings settings;
    // Saved in an earlier session: manual focus (its switch off), a
    // brightness, and 1080p at 30.
    settings.setCameraControl(node.key(), CameraSetting::Focus, 300);
    settings.setCameraControl(node.key(), CameraSetting::FocusAuto, 0);
    settings.setCameraControl(node.key(), CameraSetting::Brightness, 20);
    settings.setCameraChoice(node.key(), {QSize(1920, 1080), 30});

    auto state = std::make_shared<FakeCameraDevice::State>();
    state->modes = {mode("MJPG", 3264, 2448, 15), mode("MJPG", 1920, 1080, 30), mode("YUYV", 640, 480, 30)};
    state->controls[CameraSetting::Brightness] = {1, CameraControl::Kind::Integer, "Brightness", -64, 64, 1, 0, 0, false, {}};
    state->controls[CameraSetting::FocusAuto] = {2, CameraControl::Kind::Boolean, "Focus, Auto", 0, 1, 1, 1, 1, false, {}};
    state->controls[CameraSetting::Focus] = {3, CameraControl::Kind::Integer, "Focus", 0, 1023, 1, 0, 0, false, {}};
    CameraFeed feed(settings, [state](const std::string &) { return std::make_unique<FakeCameraDevice>(state); });
    QSignalSpy trouble(&feed, &CameraSource::trouble);

    ASSERT_TRUE(feed.open(node));
    EXPECT_EQ(state->controls[CameraSetting::FocusAuto].value, 0);
    EXPECT_EQ(state->controls[CameraSetting::Focus].value, 300); // refused until the switch was off
    EXPECT_EQ(state->controls[CameraSetting::Brightness].value, 20);
    ASSERT_TRUE(feed.current());
    EXPECT_EQ(feed.current()->size, QSize(1920, 1080));
    EXPECT_EQ(feed.choices().size(), 3);

    // Set by the user: taken and saved; refused: not saved.
    EXPECT_TRUE(feed.setControl(CameraSetting::Brightness, 40));
    EXPECT_EQ(settings.cameraControl(node.key(), CameraSetting::Brightness), 40);
    EXPECT_TRUE(feed.setControl(CameraSetting::FocusAuto, 1));
    EXPECT_FALSE(feed.setControl(CameraSetting::Focus, 10));
    EXPECT_EQ(settings.cameraControl(node.key(), CameraSetting::Focus), 300);

    // Reset: the camera's defaults, manual values too, and nothing saved.
    EXPECT_TRUE(feed.setControl(CameraSetting::FocusAuto, 0));
    feed.resetControls();
    EXPECT_EQ(state->controls[CameraSetting::Focus].value, 0);
    EXPECT_EQ(state->controls[CameraSetting::FocusAuto].value, 1);
    EXPECT_EQ(state->controls[CameraSetting::Brightness].value, 0);
    EXPECT_FALSE(settings.cameraControl(node.key(), CameraSetting::Focus));
    EXPECT_FALSE(settings.cameraControl(node.key(), CameraSetting::Brightness));

    // The node streams nothing: that shows as trouble, not as a frozen picture.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !trouble.isEmpty(); }, 5000));
    EXPECT_EQ(trouble.first().first().value<CameraSource::Trouble>(), CameraSource::Trouble::Stopped);
    feed.close();
    EXPECT_FALSE(feed.isOpen());
}

} // namespace

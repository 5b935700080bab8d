// The viewer as a user meets it: under Xvfb, inside the emulated camera
// (its video node delivers the test pattern), with the real watchdog and
// the driver stand-in, each test in network and pid namespaces of its own.
// Screenshots of the main states go to the build folder for a reviewer.
#include "SystemHarness.h"
#include "XSession.h"

#include "MjpegFrames.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSettings>
#include <QSize>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iostream>
#include <cstdlib>
#include <thread>

using namespace systemtest;

namespace {

const std::filesystem::path DesktopFolder = TESSEL_DESKTOP_FOLDER; // laid out as installed
const std::filesystem::path ScreenshotFolder = TESSEL_SCREENSHOT_FOLDER;

// Where the pattern's pure colours lie in a screenshot.
struct ColourSpot
{
    int count = 0;
    double x = 0;
    double y = 0;
};

ColourSpot find(const QImage &image, QColor colour)
{
    ColourSpot spot;
    for (int y = 0; y < image.height(); y += 2) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += 2) {
            const QColor pixel(line[x]);
            if (std::abs(pixel.red() - colour.red()) < 24 && std::abs(pixel.green() - colour.green()) < 24
                && std::abs(pixel.blue() - colour.blue()) < 24) {
                ++spot.count;
                spot.x += x;
                spot.y += y;
            }
        }
    }
    if (spot.count > 0) {
        spot.x /= spot.count;
        spot.y /= spot.count;
    }
    return spot;
}

class ViewerSystemTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tessel-viewer-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        log = LogFile(folder / "programs.log");
        driverLog = LogFile(folder / "driver.log");
        ::setenv("HOME", folder.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_PICTURES_DIR");
        ::unsetenv("XDG_STATE_HOME"); // the scan pages' safety copy goes under this home
        ::setenv("ZENTRASW_STATE", (folder / "zentrasw.state").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("LANG", "en_US.UTF-8", 1);
        ::unsetenv("LC_ALL");
        ::unsetenv("TESSEL_OPTIONS");
        startDisplay();
        std::filesystem::create_directories(ScreenshotFolder);
    }

    void TearDown() override
    {
        for (auto *program : {viewer.get(), camera.get(), driver.get()})
            if (program)
                program->signal(SIGTERM);
        for (auto *program : {viewer.get(), camera.get(), driver.get()})
            if (program && !program->waitForExit(5s))
                program->signal(SIGKILL);
        if (HasFailure()) {
            for (const auto *file : {&log, &driverLog}) {
                std::printf("---- %s\n", file->path().c_str());
                for (const auto &line : file->lines())
                    if (line.rfind("input ", 0) != 0 && line.rfind("write ", 0) != 0 && line.rfind("answer ", 0) != 0)
                        std::printf("%s\n", line.c_str());
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // An X server of our own on a free display; no tray host, the driver
    // here is the stand-in.
    void startDisplay()
    {
        ASSERT_TRUE(x.start(folder, XSession::TrayHost::None)) << "Xvfb did not start";
        ::setenv("DISPLAY", x.display().c_str(), 1);
    }

    void startDriver()
    {
        driver = std::make_unique<Program>();
        ASSERT_TRUE(driver->start(programDirectory() / "brivaradriver",
                                  {"--keep-running", "--control", (folder / "driver.ctl").string(), "--output",
                                   driverLog.path().string()},
                                  folder / "driver.stderr"));
        ASSERT_TRUE(driverLog.waitFor("brivaradriver: listening", 5s));
    }

    // The installed watchdog under the camera stand-in; what the watchdog
    // starts (the viewer) lives in the same testbed and logs to the same file.
    void startWatchdogWithCamera()
    {
        camera = std::make_unique<Program>();
        ASSERT_TRUE(camera->start(programDirectory() / "tesselcamera",
                                  {"--control", (folder / "camera.ctl").string(), "--state",
                                   (folder / "zentrasw.state").string(), "--",
                                   (DesktopFolder / "tesselwatchdogapplication").string()},
                                  log.path()));
        ASSERT_TRUE(log.waitFor("<WDServer::run()> Socket bind successfully.", 10s));
    }

    // The viewer started by hand inside the camera's testbed.
    void startViewer()
    {
        const auto root = testbedRoot(log);
        ASSERT_TRUE(root);
        ::setenv("UMOCKDEV_DIR", root->c_str(), 1);
        ::setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
        viewer = std::make_unique<Program>();
        const bool started = viewer->start(DesktopFolder / "tessel", {}, log.path());
        ::unsetenv("LD_PRELOAD");
        ASSERT_TRUE(started);
    }

    bool cameraDoes(const std::string &command) { return sendCommand(folder / "camera.ctl", command); }
    // The watchdog drops a press within 500 ms of the one before.
    bool press(const std::string &button)
    {
        std::this_thread::sleep_until(lastPress + 600ms);
        lastPress = std::chrono::steady_clock::now();
        return cameraDoes("press " + button);
    }
    std::chrono::steady_clock::time_point lastPress{};
    bool driverDoes(const std::string &command) { return sendCommand(folder / "driver.ctl", command); }

    // The menu item's caption as the driver holds it now.
    bool captionBecomes(const std::string &caption)
    {
        return eventually([&] {
            const auto from = driverLog.size();
            driverDoes("status");
            return driverLog.waitFor("status menuItem", 2s, from)
                   && driverLog.find("caption=\"" + caption + "\"", from).has_value();
        }, 15s);
    }

    // The screen as a picture, kept under name for the reviewer. A moment
    // first, for the frames in flight to be painted.
    QImage screenshot(const std::string &name)
    {
        std::this_thread::sleep_for(400ms);
        const auto path = ScreenshotFolder / ("viewer-" + name + ".png");
        EXPECT_TRUE(x.screenshot(path)) << name;
        QImage image(QString::fromStdString(path.string()));
        EXPECT_FALSE(image.isNull()) << name;
        return image.convertToFormat(QImage::Format_RGB32);
    }

    // The pattern's bars lie side by side (turned: above each other).
    void expectPattern(const QImage &image, bool turned)
    {
        const ColourSpot green = find(image, QColor(0, 255, 0));
        const ColourSpot blue = find(image, QColor(0, 0, 255));
        const ColourSpot magenta = find(image, QColor(255, 0, 255));
        ASSERT_GT(green.count, 500) << "no pattern on the screen";
        ASSERT_GT(blue.count, 500);
        ASSERT_GT(magenta.count, 500);
        if (!turned) {
            EXPECT_GT(blue.x - green.x, 3 * std::abs(blue.y - green.y)); // blue right of green
        } else {
            EXPECT_GT(blue.y - green.y, 3 * std::abs(blue.x - green.x)); // turned clockwise: below
        }
    }

    std::filesystem::path folder;
    LogFile log{""};
    LogFile driverLog{""};
    XSession x;
    std::unique_ptr<Program> driver;
    std::unique_ptr<Program> camera;
    std::unique_ptr<Program> viewer;
};

TEST_F(ViewerSystemTest, FromTheMenuItemThroughTheCamerasButtonsToClosing)
{
    startDriver();
    startWatchdogWithCamera();
    ASSERT_TRUE(captionBecomes("Turn on Tessel"));

    // The menu item starts the real viewer from the watchdog's folder.
    ASSERT_TRUE(driverDoes("click"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> first frame shown 3264x2448", 20s));
    ASSERT_TRUE(captionBecomes("Turn off Tessel"));
    expectPattern(screenshot("live"), false);

    // The camera's rotate button turns the picture.
    const auto beforeRotate = log.size();
    ASSERT_TRUE(press("rotate"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> rotation 90", 5s, beforeRotate));
    expectPattern(screenshot("rotated"), true);

    // Button 140 freezes: the picture stops while frames go on arriving.
    const auto beforeFreeze = log.size();
    ASSERT_TRUE(press("140"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> picture frozen", 5s, beforeFreeze));
    const QImage frozen = screenshot("frozen");
    std::this_thread::sleep_for(300ms);
    const QImage later = screenshot("frozen");
    EXPECT_EQ(frozen, later); // the frame counter would have moved
    ASSERT_TRUE(press("140"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> picture live", 5s, beforeFreeze));

    // Button 141 captures into the Pictures folder.
    const auto beforeCapture = log.size();
    ASSERT_TRUE(press("141"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> picture saved", 5s, beforeCapture));
    const auto pictures = folder / "Pictures";
    ASSERT_TRUE(std::filesystem::exists(pictures));
    const auto saved = std::filesystem::directory_iterator(pictures)->path();
    QImageReader reader(QString::fromStdString(saved.string()));
    reader.setAutoTransform(true); // the camera's JPEG, turned by its Exif orientation
    EXPECT_EQ(reader.read().size(), QSize(2448, 3264)); // the sensor's full size, turned
    screenshot("captured");


    // Unplugged: the window stays and says so; plugged in again: the
    // picture comes back by itself, through the watchdog's fresh copy.
    const auto beforeUnplug = log.size();
    ASSERT_TRUE(cameraDoes("unplug camera"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> camera disconnected", 10s, beforeUnplug));
    const QImage disconnected = screenshot("disconnected");
    EXPECT_EQ(find(disconnected, QColor(0, 255, 0)).count, 0);
    EXPECT_NE(disconnected.pixelColor(640, 400), QColor(Qt::black)); // a placeholder, not a black hole
    const auto beforePlug = log.size();
    ASSERT_TRUE(cameraDoes("plug camera"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> first frame shown", 30s, beforePlug));
    expectPattern(screenshot("back"), true);

    // A Pictures folder that cannot be written: the window says so and
    // keeps the picture.
    std::filesystem::rename(pictures, folder / "Pictures.saved");
    std::ofstream(pictures) << "not a folder\n";
    const auto beforeFailure = log.size();
    ASSERT_TRUE(press("141"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> capture failed", 5s, beforeFailure));
    screenshot("capture-failed");

    // Closing the window tells the watchdog: the caption flips back.
    ASSERT_TRUE(captionBecomes("Turn off Tessel"));
    x.keys("ctrl+q", "^Tessel$");
    ASSERT_TRUE(log.waitFor("<ViewerWindow> closing", 5s));
    ASSERT_TRUE(captionBecomes("Turn on Tessel"));
    EXPECT_TRUE(waitForProcessCount("tessel", 0, 5s));
}

TEST_F(ViewerSystemTest, ArabicRightToLeftAndNoCameraAndACaptureBeyondTheLiveSize)
{
    ::setenv("LANG", "ar_SA.UTF-8", 1);
    // The user chose 1080p at 30 for the live view earlier.
    {
        // By its file: QSettings keeps the first home folder it saw for the process.
        QSettings settings(QString::fromStdString((folder / ".config/Brivara/tessel.conf").string()),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("cameras/7a3e:4b10 Brivara tessel Visualizer/resolution"), QSize(1920, 1080));
        settings.setValue(QStringLiteral("cameras/7a3e:4b10 Brivara tessel Visualizer/rate"), 30.0);
    }
    startWatchdogWithCamera();
    // The watchdog ends with the camera; its fresh copy listens again.
    const auto beforeUnplug = log.size();
    ASSERT_TRUE(cameraDoes("unplug camera"));
    ASSERT_TRUE(log.waitFor("<WDServer::run()> Socket bind successfully.", 10s, beforeUnplug));
    startViewer();
    ASSERT_TRUE(log.waitFor("<ViewerController> the watchdog lists no camera", 15s));
    screenshot("arabic-no-camera");
    const auto beforePlug = log.size();
    ASSERT_TRUE(cameraDoes("plug camera"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> first frame shown 1920x1080", 30s, beforePlug));
    expectPattern(screenshot("arabic"), false);

    // A capture is still the sensor's full size: the camera switches for
    // one frame and back to the live size.
    const auto beforeCapture = log.size();
    x.keys("c", "^Tessel$");
    ASSERT_TRUE(log.waitFor("<CameraFeed> switching to 3264x2448 for a picture", 5s, beforeCapture));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> picture saved", 10s, beforeCapture));
    ASSERT_TRUE(log.waitFor("<CameraPipeline> streaming /dev/video0 image/jpeg,width=1920,height=1080,framerate=30/1",
                            5s, beforeCapture));
    const auto saved = std::filesystem::directory_iterator(folder / "Pictures")->path();
    EXPECT_EQ(QImage(QString::fromStdString(saved.string())).size(), QSize(3264, 2448));
}

// The frame number drawn into a picture of the stand-in's pattern.
std::uint32_t frameNumber(const QImage &picture)
{
    const int bandTop = picture.height() * 3 / 4;
    const int y = bandTop + (picture.height() - bandTop) / 2;
    const int cell = picture.width() / 18;
    std::uint32_t number = 0;
    for (int bit = 0; bit < 16; ++bit)
        number = (number << 1) | (qGray(picture.pixel(cell * (bit + 1) + cell / 2, y)) > 96 ? 1U : 0U);
    return number;
}

TEST_F(ViewerSystemTest, BusyAndStalledCamerasSavedControlsAndTheCamerasOwnJpeg)
{
    // Brightness set low in an earlier session, for this camera.
    constexpr int SavedBrightness = -64;
    {
        // By its file: QSettings keeps the first home folder it saw for the process.
        QSettings settings(QString::fromStdString((folder / ".config/Brivara/tessel.conf").string()),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("cameras/7a3e:4b10 Brivara tessel Visualizer/controls/0"), SavedBrightness);
    }
    startWatchdogWithCamera();

    // Another program streams the camera when the viewer starts.
    const auto root = testbedRoot(log);
    ASSERT_TRUE(root);
    ::setenv("UMOCKDEV_DIR", root->c_str(), 1);
    ::setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
    Program other;
    const bool otherStarted = other.start("/usr/bin/gst-launch-1.0",
                                          {"v4l2src", "device=/dev/video0", "!", "image/jpeg,width=1280,height=720", "!",
                                           "fakesink"},
                                          folder / "other.log");
    ::unsetenv("LD_PRELOAD");
    ASSERT_TRUE(otherStarted);
    std::this_thread::sleep_for(1500ms); // the other program reads its first frames
    startViewer();
    ASSERT_TRUE(log.waitFor("<ViewerWindow> the camera is in use by another program", 20s));
    const QImage busy = screenshot("busy");
    EXPECT_EQ(find(busy, QColor(0, 255, 0)).count, 0);
    // The other program ends: the picture comes by itself.
    const auto beforeFree = log.size();
    other.signal(SIGINT);
    other.waitForExit(5s);
    ASSERT_TRUE(log.waitFor("<ViewerWindow> first frame shown 3264x2448", 20s, beforeFree));

    // The saved brightness is back on the camera: white is grey now.
    const QImage dim = screenshot("saved-brightness");
    EXPECT_EQ(find(dim, QColor(0, 255, 0)).count, 0);
    EXPECT_GT(find(dim, QColor(0, 255 + SavedBrightness, 0)).count, 5000);

    // The panel of the camera's controls.
    const auto beforePanel = log.size();
    x.keys("s", "^Tessel$");
    ASSERT_TRUE(log.waitFor("<ControlPanel> 13 controls", 5s, beforePanel));
    screenshot("controls");

    // A capture is the camera's own JPEG at full size: its bytes are one of
    // the frames the stand-in makes (with the standard Huffman tables added).
    const auto beforeCapture = log.size();
    x.keys("c", "^Tessel$");
    ASSERT_TRUE(log.waitFor("<ViewerWindow> picture saved", 10s, beforeCapture));
    const auto pictures = folder / "Pictures";
    const auto saved = std::filesystem::directory_iterator(pictures)->path();
    QFile file(QString::fromStdString(saved.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QImage picture = QImage::fromData(bytes, "JPEG");
    ASSERT_EQ(picture.size(), QSize(3264, 2448));
    const qsizetype tables = bytes.indexOf(QByteArray("\xFF\xC4", 2));
    ASSERT_GT(tables, 0);
    QByteArray camerasBytes = bytes;
    camerasBytes.remove(tables, 420);
    const camera_standin::MjpegFrames frames(3264, 2448, SavedBrightness);
    const std::vector<std::uint8_t> frame = frames.frame(frameNumber(picture));
    EXPECT_EQ(camerasBytes, QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size())));
    screenshot("captured-full-size");

    // A camera that stops sending: the window says so, and the picture comes
    // back by itself when it sends again.
    const auto beforeStall = log.size();
    ASSERT_TRUE(cameraDoes("video stall"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> the camera stopped sending pictures", 10s, beforeStall));
    screenshot("stopped");
    ASSERT_TRUE(cameraDoes("video run"));
    ASSERT_TRUE(log.waitFor("<CameraFeed> frames again", 20s, beforeStall));

    // One viewer per user: a second start brings the first to the front
    // and ends, without touching the watchdog's connection or the camera.
    const auto beforeSecond = log.size();
    Program second;
    ASSERT_TRUE(second.start(DesktopFolder / "tessel", {}, folder / "second.log"));
    EXPECT_EQ(second.waitForExit(10s), 0);
    EXPECT_TRUE(log.waitFor("<SingleViewer> another start: coming to the front", 5s, beforeSecond));
    EXPECT_FALSE(log.find("<WatchdogLink> the watchdog closed the connection", beforeSecond));
}

// Started from the menu on a machine where the watchdog does not run: the
// viewer finds the camera by its USB ids and shows it, without the buttons
// that need the watchdog. In German, on a dark theme (qt6ct's "darker"), and
// in a window narrowed to 480 pixels, where a saved file's long name loses
// its middle, not its ends, and widens nothing.
TEST_F(ViewerSystemTest, WithoutAWatchdogOnADarkThemeInANarrowWindow)
{
    ::setenv("LANG", "de_DE.UTF-8", 1);
    std::filesystem::create_directories(folder / ".config/qt6ct");
    std::ofstream(folder / ".config/qt6ct/qt6ct.conf")
        << "[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n";
    ::setenv("QT_QPA_PLATFORMTHEME", "qt6ct", 1);

    camera = std::make_unique<Program>();
    ASSERT_TRUE(camera->start(programDirectory() / "tesselcamera",
                              {"--control", (folder / "camera.ctl").string(), "--state",
                               (folder / "zentrasw.state").string()},
                              log.path()));
    ASSERT_TRUE(log.waitFor("ready root=", 10s));
    startViewer();
    ::unsetenv("QT_QPA_PLATFORMTHEME");
    ASSERT_TRUE(log.waitFor("<ViewerController> no watchdog: the camera is /dev/video0 by its USB ids", 15s));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> first frame shown 3264x2448", 20s));
    const QImage dark = screenshot("no-watchdog-dark");
    expectPattern(dark, false);
    // The toolbar is dark and its icons are drawn light on it.
    const auto tessel = [&] {
        for (const auto &window : x.windowsOf("tessel"))
            if (window.name == "Tessel")
                return std::optional(window);
        return std::optional<XSession::Window>();
    };
    const auto window = tessel();
    ASSERT_TRUE(window);
    int darkPixels = 0;
    int lightPixels = 0;
    for (int y = window->y; y < window->y + 48; ++y)
        for (int px = window->x; px < window->x + window->width; ++px) {
            const int grey = qGray(dark.pixel(px, y));
            darkPixels += grey < 80 ? 1 : 0;
            lightPixels += grey > 190 ? 1 : 0;
        }
    EXPECT_GT(darkPixels, 48 * window->width / 2);
    EXPECT_GT(lightPixels, 300); // the icons' strokes

    // Narrowed to 480 pixels, a capture: its confirmation fits.
    ASSERT_EQ(std::system("xdotool search --onlyvisible --name '^Tessel$' windowsize 480 600"), 0);
    std::this_thread::sleep_for(500ms);
    const auto beforeCapture = log.size();
    x.keys("c", "^Tessel$");
    ASSERT_TRUE(log.waitFor("<ViewerWindow> picture saved", 10s, beforeCapture));
    screenshot("narrow-german");
    const auto narrow = tessel();
    ASSERT_TRUE(narrow);
    EXPECT_LE(narrow->width, 480);
}

} // namespace

TEST_F(ViewerSystemTest, ScanModeFollowsThePictureAndKeepsACapturedPage)
{
    startDriver();
    startWatchdogWithCamera();
    ASSERT_TRUE(captionBecomes("Turn on Tessel"));
    ASSERT_TRUE(driverDoes("click"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> first frame shown 3264x2448", 20s));

    // The test pattern has no page: the outline is the whole frame, drawn
    // over the live picture, which goes on.
    const auto beforeScan = log.size();
    x.keys("d", "^Tessel$");
    ASSERT_TRUE(log.waitFor("<ScanMode> on", 5s, beforeScan));
    std::this_thread::sleep_for(600ms);
    expectPattern(screenshot("scan-mode"), false);

    // The camera's capture button takes the full-size still for the corners.
    const auto beforeCapture = log.size();
    ASSERT_TRUE(press("141"));
    ASSERT_TRUE(log.waitFor("<ScanMode> still 3264x2448", 20s, beforeCapture));
    EXPECT_FALSE(log.find("<ViewerWindow> picture saved", beforeCapture).has_value());
    expectPattern(screenshot("scan-corners"), false);

    // A corner moved by keys, and the page kept: straightened and cleaned.
    x.keys("Tab Left Left Down Return", "^Tessel$");
    ASSERT_TRUE(log.waitFor("<ScanMode> page 1 kept", 30s, beforeCapture));
    screenshot("scan-page-kept");
    // Without a window manager a key can miss a window that has just taken
    // the focus back from a dialog: keys that show nothing are sent again.
    auto keysUntil = [&](const std::string &keys, const std::string &window, const std::string &line, std::size_t from) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            x.keys(keys, window);
            if (log.waitFor(line, 4s, from))
                return true;
            std::cerr << "no sign of '" << keys << "' yet; " << x.focusReport(window) << std::endl;
        }
        return false;
    };

    // A safety copy until a PDF holds it: a crash would not lose it.
    const auto safetyCopy = folder / ".local/state/tessel/unsaved-scans/pages.txt";
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(safetyCopy); }, 5s));

    // Closing would lose the page: the window asks first, and Cancel keeps
    // it open.
    ASSERT_TRUE(captionBecomes("Turn off Tessel"));
    const auto beforeClose = log.size();
    ASSERT_TRUE(keysUntil("ctrl+q", "^Tessel$", "<ViewerWindow> unsaved pages: asking before closing", beforeClose));
    screenshot("scan-unsaved-question");
    // Ctrl first: Ctrl+Escape is not Escape, and a loaded X session has
    // been seen to leave the Ctrl of Ctrl+Q pressed for the dialog.
    ASSERT_TRUE(keysUntil("ctrl Escape", "^Scanned pages$", "<ViewerWindow> unsaved pages: staying open", beforeClose));
    EXPECT_FALSE(log.find("<ViewerWindow> closing", beforeClose).has_value());
    EXPECT_TRUE(captionBecomes("Turn off Tessel"));

    // The session ends (SIGTERM): no question, the page stays on disk, and
    // the next start offers it back.
    const auto viewers = processesNamed("tessel");
    ASSERT_EQ(viewers.size(), 1u);
    const auto beforeEnd = log.size();
    ASSERT_EQ(::kill(viewers[0], SIGTERM), 0);
    ASSERT_TRUE(log.waitFor("<ViewerWindow> the session ends: 1 unsaved pages stay for the next start", 5s, beforeEnd));
    EXPECT_TRUE(waitForProcessCount("tessel", 0, 10s));
    ASSERT_TRUE(captionBecomes("Turn on Tessel"));
    EXPECT_TRUE(std::filesystem::exists(safetyCopy));
    ASSERT_TRUE(driverDoes("click"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> 1 unsaved pages from before: asking", 20s, beforeEnd));
    screenshot("scan-pages-from-before");
    // Restore, the default.
    ASSERT_TRUE(keysUntil("Return", "^Scanned pages$", "<ScanRecovery> 1 pages restored", beforeEnd));

    // The tray's "turn off" asks too, without Cancel (the watchdog has
    // already let the viewer go); saving writes the PDF to Documents, and
    // then the viewer ends.
    ASSERT_TRUE(captionBecomes("Turn off Tessel"));
    const auto beforeSave = log.size();
    ASSERT_TRUE(driverDoes("click"));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> unsaved pages: asking before closing", 10s, beforeSave));
    screenshot("scan-unsaved-turned-off");
    // Save PDF, the default.
    ASSERT_TRUE(keysUntil("Return", "^Scanned pages$", "<PdfExport> writing 1 pages", beforeSave));
    ASSERT_TRUE(log.waitFor("<ViewerWindow> pages saved: closing", 90s, beforeSave));
    ASSERT_TRUE(captionBecomes("Turn on Tessel"));
    EXPECT_TRUE(waitForProcessCount("tessel", 0, 5s));
    std::vector<std::filesystem::path> pdfs;
    for (const auto &entry : std::filesystem::directory_iterator(folder / "Documents"))
        pdfs.push_back(entry.path());
    ASSERT_EQ(pdfs.size(), 1u);
    EXPECT_EQ(pdfs[0].extension(), ".pdf");
    EXPECT_GT(std::filesystem::file_size(pdfs[0]), 1000u);
    EXPECT_FALSE(std::filesystem::exists(safetyCopy));
}

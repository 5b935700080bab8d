// tessel, the viewer: shows the document camera's picture and speaks the
// viewer's side of the watchdog's port.
#include "CameraFeed.h"
#include "CameraLocator.h"
#include "ViewerController.h"
#include "ViewerSettings.h"
#include "ViewerTexts.h"
#include "SingleViewer.h"
#include "VideoView.h"
#include "ViewerWindow.h"
#include "WatchdogLink.h"
#include "config/UserInterfaceController.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QLocale>

#include <algorithm>
#include <chrono>
#include <memory>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brivara"));
    QApplication::setApplicationName(QStringLiteral("tessel"));
    QApplication::setDesktopFileName(QStringLiteral("com.brivara.tessel"));

    // The product's one language file, beside the program.
    const UserInterfaceController language(UserInterfaceController::defaultLanguageFilePath(),
                                           QLocale::system().name());
    QApplication::setLayoutDirection(language.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    const ViewerTexts texts(language);

    SingleViewer single;
    if (!single.claim())
        return 0;

    ViewerSettings settings;
    WatchdogLink link;
    CameraFeed camera(settings);
    ViewerController controller(link, camera, CameraLocator(platform::current().videoDevices()));
    ViewerWindow window(texts, settings, link, camera, controller);

    // A stop asked for by the session closes the window the ordinary way,
    // so the watchdog hears of it.
    platform::current().watchForSessionEnd([&window] { window.closeForSessionEnd(); });

    // For benchmarks: when each frame reached the viewer and when it was
    // painted (steady clock, microseconds), to tell its age on the screen.
    std::unique_ptr<QFile> paintLog;
    if (const QString path = qEnvironmentVariable("TESSEL_VIEWER_PAINT_LOG"); !path.isEmpty()) {
        paintLog = std::make_unique<QFile>(path);
        if (paintLog->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            window.view()->setPaintTrace([log = paintLog.get()](qint64 arrivedUs) {
                const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::steady_clock::now().time_since_epoch());
                log->write(QByteArray::number(arrivedUs) + ' ' + QByteArray::number(qint64(now.count())) + '\n');
            });
        }
    }

    // For benchmarks: how late the event loop runs a 10 ms timer (the main
    // thread's stalls), one line a tick, in microseconds.
    std::unique_ptr<QFile> lagLog;
    QTimer lagProbe;
    QElapsedTimer lagClock;
    if (const QString path = qEnvironmentVariable("TESSEL_VIEWER_LAG_LOG"); !path.isEmpty()) {
        lagLog = std::make_unique<QFile>(path);
        if (lagLog->open(QIODevice::WriteOnly | QIODevice::Append)) {
            lagProbe.setTimerType(Qt::PreciseTimer);
            lagProbe.setInterval(10);
            lagClock.start();
            QObject::connect(&lagProbe, &QTimer::timeout, [&lagClock, log = lagLog.get()] {
                const qint64 late = lagClock.nsecsElapsed() / 1000 - 10000;
                lagClock.restart();
                log->write(QByteArray::number(std::max<qint64>(late, 0)) + '\n');
                log->flush();
            });
            lagProbe.start();
        }
    }

    QObject::connect(&single, &SingleViewer::raiseRequested, &window, [&window] {
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window.show();
        window.raise();
        window.activateWindow();
    });

    window.show();
    link.start();
    controller.findCameraWithoutWatchdog();
    return QApplication::exec();
}

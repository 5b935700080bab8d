// tessel, the viewer: shows the document camera's picture and speaks the
// viewer's side of the watchdog's port.
#include "CameraFeed.h"
#include "CameraLocator.h"
#include "ViewerController.h"
#include "ViewerSettings.h"
#include "ViewerTexts.h"
#include "ViewerWindow.h"
#include "WatchdogLink.h"
#include "config/UserInterfaceController.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char **argv)
{
    // Qt Multimedia's FFmpeg backend has no read() I/O, and a camera that
    // offers only that (or a driver without mmap) would stay dark; the
    // GStreamer backend reads either way and names cameras by their node.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brivara"));
    QApplication::setApplicationName(QStringLiteral("tessel"));
    QApplication::setDesktopFileName(QStringLiteral("com.brivara.tessel"));

    // The product's one language file, beside the program.
    const UserInterfaceController language(UserInterfaceController::defaultLanguageFilePath(),
                                           QLocale::system().name());
    QApplication::setLayoutDirection(language.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    const ViewerTexts texts(language);

    ViewerSettings settings;
    WatchdogLink link;
    CameraFeed camera(settings);
    ViewerController controller(link, camera, CameraLocator(platform::current().videoDevices()));
    ViewerWindow window(texts, settings, link, camera, controller);

    // A stop asked for by the session closes the window the ordinary way,
    // so the watchdog hears of it.
    platform::current().watchForSessionEnd([&window] { window.close(); });

    window.show();
    link.start();
    return QApplication::exec();
}

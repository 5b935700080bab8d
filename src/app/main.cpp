// The watchdog program: one copy per session, no window, runs until the
// camera goes away or the session ends it, then starts a fresh copy of itself.
#include "WatchDogController.h"
#include "config/UserInterfaceController.h"
#include "platform/Modules.h"
#include "platform/Net.h"
#include "platform/Platform.h"

#ifdef TESSEL_QT_SOUND
#include "platform/qt/QtSound.h"
#endif

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

namespace {

void showAlreadyRunning(UserInterfaceController *texts)
{
    QString title;
    QString message;
    texts->getCaption(QStringLiteral("Watchdog_Application"), title);
    qDebug().noquote() << title;
    texts->getCaption(QStringLiteral("Tessel_Dialog_Caption/IDS_TESSEL_INSTANCE_RUNNING"), message);
    QMessageBox::information(nullptr, title, message, QMessageBox::Ok, QMessageBox::NoButton);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before Qt loads its plugins and the system libraries they use: code
    // comes only from the system's folder and the program's own.
    const bool searchRestricted = platform::restrictModuleSearch();
    QApplication application(argc, argv);
    if (!searchRestricted)
        qDebug() << "The search for libraries could not be kept to the system's and the program's folders";
    platform::Platform &system = platform::current();
#ifdef TESSEL_QT_SOUND
    // The camera's button sounds, played by this program alone of those
    // that share the platform layer.
    platform::QtSound buttonSounds;
    platform::useSoundPlayer(&buttonSounds);
#endif

    // The session's request to stop ends whatever event loop runs: the
    // "already running" box as well as the watchdog's own loop. The
    // controller then sees the request and starts no fresh copy.
    system.watchForSessionEnd([] { QCoreApplication::exit(0); });

    UserInterfaceController *texts = UserInterfaceController::instance();
    if (texts->isRightToLeft())
        QApplication::setLayoutDirection(Qt::RightToLeft);

    const auto instanceLock = system.createInstanceLock("WatchDogApp_SingleInstanceMutex");
    switch (instanceLock->acquire()) {
    case platform::InstanceLock::Outcome::Failed:
        qDebug() << "Some problem in creating the single instance mutex... Exit the application";
        delete texts;
        return 0;
    case platform::InstanceLock::Outcome::AlreadyHeld:
        showAlreadyRunning(texts);
        delete texts;
        return 0;
    case platform::InstanceLock::Outcome::Acquired:
        break;
    }

    if (!platform::net::startup()) {
        qDebug() << "Could not initialize the windows socket library";
        instanceLock->release();
        delete texts;
        return 0;
    }

    WatchDogController *controller = WatchDogController::instance();
    controller->setInstanceLock(instanceLock.get());
    int exitCode;
    if (controller->startCommunications()) {
        exitCode = QApplication::exec();
    } else {
        qDebug() << "<WatchDogControlle::startCommunications> failed";
        exitCode = -1;
    }
    // Stops every thread, releases the texts, and starts the fresh copy.
    WatchDogController::destroyInstance();

    platform::net::cleanup();
    instanceLock->release();
    if (WatchDogController::freshCopyLeftToServiceManager())
        return platform::Platform::RestartExitCode;
    return exitCode;
}

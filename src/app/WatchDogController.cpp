#include "WatchDogController.h"

#include "ConfigurationSettings.h"
#include "commands/CameraCommand.h"
#include "commands/CommandDispatchThread.h"
#include "commands/CommandQueue.h"
#include "config/UserInterfaceController.h"
#include "driverapi/APIClient.h"
#include "driverapi/MenuItemRecord.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"
#include "server/WDServer.h"
#include "server/WatchdogCommand.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QCursor>
#include <QGuiApplication>
#include <QThread>
#include <QUrl>

namespace {

constexpr int VerifyIntervalMs = 10000;
constexpr int MenuItemDelayMs = 1200;
constexpr qint64 OemQuietTimeMs = 599; // a press counts when more than this has passed
constexpr unsigned long ViewerCloseSettleMs = 500;
constexpr unsigned long RestartWaitSliceMs = 100;

const char *const ViewerExecutable = "tessel.exe";
const char *const DriverExecutable = "brivaradriver.exe";
const char *const WatchdogExecutable = "tesselwatchdogapplication.exe";

platform::Processes &processes()
{
    return platform::current().processes();
}

} // namespace

const int WatchDogController::OemButtonIds[14] = {93, 116, 139, 162, 94, 117, 140,
                                                  163, 95, 118, 141, 164, 96, 23};

WatchDogController *WatchDogController::singleton = nullptr;

WatchDogController *WatchDogController::instance()
{
    if (!singleton)
        singleton = new WatchDogController;
    return singleton;
}

void WatchDogController::destroyInstance()
{
    delete singleton;
    singleton = nullptr;
}

WatchDogController::WatchDogController()
{
    lifetime.start();
    commandQueue = new CommandQueue;
    dispatchThread = new CommandDispatchThread(commandQueue);
    oemButtonClock.start();
    uiController = UserInterfaceController::instance();
}

void WatchDogController::setInstanceLock(platform::InstanceLock *lock)
{
    instanceLock = lock;
}

// ---- start ------------------------------------------------------------------

bool WatchDogController::startCommunications()
{
    qDebug() << "<WatchDogController::startCommunications()> startCommunications";
    isProcessRunning(ViewerExecutable, viewerRunning);
    viewerOn = bool(viewerRunning);
    const bool result = initializeApplication();
    oemButtonClock.restart();
    started = result;
    return result;
}

bool WatchDogController::initializeApplication()
{
    qDebug() << "<WatchDogController::initializeApplication()> initializeApplication";
    dispatchThread->start(QThread::InheritPriority);

    bool result = false;
    if (initializeWatchdogServerConnection()) {
        connect(watchdogServer, &WDServer::WatchdogZoomApplicationClose, this,
                &WatchDogController::closeZoomApplication);
        connect(watchdogServer, &WDServer::WatchdogZoomApplicationON_OFF, this,
                &WatchDogController::modifyBVDocCamMenuItem);
        connect(watchdogServer, &WDServer::startTesselApplicationSignalEmit, this,
                &WatchDogController::startZoomApplicationSysMenu);
        result = true;
    } else {
        qDebug() << "<WatchDogController::initializeApplication()> Failed to Start watchdog server.";
    }

    if (!initializeBrivaraDriverAPIConnection())
        qDebug() << "<WatchDogController::initializeApplication()> Failed to connect brivara driver.";

    verifyTimer.start(VerifyIntervalMs);
    connect(&verifyTimer, &QTimer::timeout, this, &WatchDogController::verifyBVDAPIConnectionStatus,
            Qt::UniqueConnection);
    return result;
}

bool WatchDogController::initializeWatchdogServerConnection()
{
    qDebug() << "<WatchDogController::initializeWatchdogServerConnection()> initializeWatchdogServerConnection";
    watchdogServer = WDServer::instance();
    if (!watchdogServer || !watchdogServer->startUsbCommunication()) {
        qDebug() << "<WatchDogController::initializeWatchdogServerConnection()> startUsbCommunication failed.";
        return false;
    }
    if (watchdogServer->isServerStarted())
        return false;
    watchdogServer->startServer();
    return true;
}

bool WatchDogController::initializeBrivaraDriverAPIConnection()
{
    qDebug() << "<WatchDogController::initializeBrivaraDriverAPIConnection()> initializeBrivaraDriverAPIConnection";
    if (!apiClient)
        apiClient = new APIClient(this, ServicePorts::driver);
    if (apiClient->connectToServer()) {
        apiClient->startClient();
        QTimer::singleShot(MenuItemDelayMs, this, &WatchDogController::addMenuItem);
        qDebug() << "<WatchDogController::initializeBrivaraDriverAPIConnection()> initializeBrivaraDriverAPIConnection: "
                 << true;
        return true;
    }
    apiClient->quit();
    qDebug() << "<WatchDogController::initializeBrivaraDriverAPIConnection()> brivaraDriverAPIClient Terminate.";
    return false;
}

void WatchDogController::verifyBVDAPIConnectionStatus()
{
    commandQueue->enqueue(new BVDAPIConnectCommand(this));
}

// ---- teardown ---------------------------------------------------------------

WatchDogController::~WatchDogController()
{
    qDebug() << "WatchDogController::~WatchDogController()";
    verifyTimer.stop();

    // The client first: once it is stopped no driver hook arrives.
    if (apiClient) {
        apiClient->disconnectFromServer();
        if (apiClient->isRunning()) {
            apiClient->requestStop();
            while (!apiClient->isFinished())
                apiClient->wait();
        }
        delete apiClient;
        apiClient = nullptr;
    }

    // Then the server: once it is stopped no viewer signal arrives. Its
    // thread ends by itself when its listening socket is closed, so it is
    // never terminated.
    if (watchdogServer) {
        disconnect(watchdogServer, &WDServer::WatchdogZoomApplicationClose, this,
                   &WatchDogController::closeZoomApplication);
        disconnect(watchdogServer, &WDServer::WatchdogZoomApplicationON_OFF, this,
                   &WatchDogController::modifyBVDocCamMenuItem);
        disconnect(watchdogServer, &WDServer::startTesselApplicationSignalEmit, this,
                   &WatchDogController::startZoomApplicationSysMenu);
        disconnect(watchdogServer, nullptr, this, nullptr);
        if (watchdogServer->isRunning()) {
            watchdogServer->stopServer();
            watchdogServer->waitForServerThread();
            qDebug() << "watchDogServer Finished()...";
        }
        WDServer::destroyInstance();
        watchdogServer = nullptr;
    }

    // Then the dispatch thread: pending commands are dropped unexecuted; a
    // command already running finishes.
    if (dispatchThread) {
        commandQueue->clear();
        if (dispatchThread->isRunning()) {
            dispatchThread->requestStop();
            while (!dispatchThread->isFinished())
                dispatchThread->wait();
        }
        delete dispatchThread;
        dispatchThread = nullptr;
    }
    delete commandQueue;
    commandQueue = nullptr;

    delete uiController;
    uiController = nullptr;

    startFreshCopy();
    qDebug() << "<WatchDogController::~WatchDogController()> Exit.";
}

void WatchDogController::startFreshCopy()
{
    platform::Platform &system = platform::current();
    // A stop asked for by the session must stick.
    if (system.sessionEndRequested()) {
        qDebug() << "<WatchDogController::~WatchDogController()> session ends: no fresh copy.";
        return;
    }
    // A start that failed would fail again at once: wait out the rest of the
    // retry period, so that a broken set-up does not restart in a tight loop.
    if (!started) {
        while (lifetime.elapsed() < failedStartRetryMs) {
            if (system.sessionEndRequested())
                return;
            QThread::msleep(RestartWaitSliceMs);
        }
    }
    if (system.serviceManagerRestarts()) {
        qDebug() << "<WatchDogController::~WatchDogController()> the service manager starts the fresh copy.";
        freshCopyDelegated = true;
        return;
    }
    // The fresh copy must not meet our lock.
    if (instanceLock)
        instanceLock->release();
    system.processes().startDetached(WatchdogExecutable);
}

// ---- driver hooks (API client's receive thread) ---------------------------

bool WatchDogController::handleDisconnection(int disconnectionReason)
{
    commandQueue->enqueue(new APIDisconnectCommand(this, disconnectionReason));
    return true;
}

bool WatchDogController::handleOemBtnPressed(int oemBtnId)
{
    commandQueue->enqueue(new OemButtonCommand(this, oemBtnId));
    return true;
}

bool WatchDogController::handleBrivaraDriverExit()
{
    // The connection that closes next is handled as a loss.
    return true;
}

bool WatchDogController::handleMenuItemClicked(int)
{
    // The watchdog owns a single menu item: the id needs no look.
    std::lock_guard locker(docCamMutex);
    commandQueue->enqueue(new ManageDocCamApplicationCommand(this, viewerOn));
    return true;
}

// ---- driver commands (dispatch thread) -------------------------------------

void WatchDogController::bvdApiDisconnected(int reason)
{
    qDebug() << "<WatchDogController::bvdApiDisconnected()> reason: " << reason;
    // The periodic check reconnects; nothing is repaired on the spot.
    if (apiClient && apiClient->isConnected())
        apiClient->disconnectFromServer();
}

void WatchDogController::bvdApiOemButtonPressed(int oemBtnId)
{
    if (oemButtonClock.elapsed() > OemQuietTimeMs) {
        switch (oemBtnId) {
        case 23: {
            QString url;
            if (uiController
                && uiController->getCaption(QStringLiteral("Watchdog_Application/IDS_TESSEL_WEBSITE_URL"), url))
                openWebPage(url);
            break;
        }
        case VIEWER_ON_OFF:
            modifyBVDocCamMenuItem();
            break;
        case 94: case 95: case 96:
        case 116: case 117: case 118:
        case 139: case 140: case 141:
        case 162: case 163: case 164:
            if (watchdogServer)
                watchdogServer->forwardDriverCommand(oemBtnId);
            break;
        default:
            break;
        }
    }
    // Every press restarts the quiet time, also one that came too soon.
    oemButtonClock.restart();
}

bool WatchDogController::addOEMIcons()
{
    if (!apiClient)
        return false;
    bool allAccepted = true;
    for (const int id : OemButtonIds)
        allAccepted = apiClient->addOEMButton(id) && allAccepted;
    return allAccepted;
}

QString WatchDogController::caption(const QString &keyPath) const
{
    QString text;
    if (uiController)
        uiController->getCaption(keyPath, text);
    return text;
}

bool WatchDogController::sendMenuItemRequest(bool add, int itemId)
{
    const bool viewerCountsAsOn = viewerRunning || viewerOn;
    MenuItemRecord record;
    record.flag = 1;
    record.caption = caption(viewerCountsAsOn ? QStringLiteral("Watchdog_Application/IDS_TESSEL_TURN_OFF")
                                              : QStringLiteral("Watchdog_Application/IDS_TESSEL_TURN_ON"))
                         .toStdU16String();
    record.itemId = add ? 0 : itemId;
    return add ? apiClient->addBVDOCCAMConfigurationMenuItem(record)
               : apiClient->removeBVDOCCAMConfigurationMenuItem(record);
}

bool WatchDogController::addBVDOCCAMConfigurationMenuItem()
{
    std::lock_guard locker(menuItemMutex);
    const bool result = apiClient && sendMenuItemRequest(true, 0);
    menuUpdatePending = false;
    return result;
}

bool WatchDogController::removeBVDOCCAMConfigurationMenuItem(int itemId)
{
    std::lock_guard locker(menuItemMutex);
    return apiClient && sendMenuItemRequest(false, itemId);
}

void WatchDogController::shutdownApplication()
{
    // Runs on the dispatch thread: the timer belongs to the main thread.
    QMetaObject::invokeMethod(&verifyTimer, qOverload<>(&QTimer::stop), Qt::QueuedConnection);
    QCoreApplication::quit();
}

bool WatchDogController::addMenuItem()
{
    isProcessRunning(ViewerExecutable, viewerRunning);
    viewerOn = bool(viewerRunning);
    commandQueue->enqueue(new AddBVDOCCAMConfigureMenuItemCommand(this));
    commandQueue->enqueue(new AddOemIconsCommand(this));
    return true;
}

void WatchDogController::checkApiConnection()
{
    qDebug() << "<WatchDogController::checkApiConnection()> checkApiConnection";
    ConfigurationSettings *settings = ConfigurationSettings::instance();
    if (!apiClient) {
        settings->reportConnectionStatus(DRIVER_STATUS_NO_CLIENT);
        return;
    }
    if (!apiClient->isConnected()) {
        settings->reportConnectionStatus(DRIVER_STATUS_CHECKING);
        if (apiClient->connectToServer()) {
            apiClient->startClient();
            // The driver needs a moment before it takes requests.
            QThread::msleep(MenuItemDelayMs);
            if (!commandQueue->enqueue(new AddOemIconsCommand(this)))
                qDebug() << "<WatchDogController::checkApiConnection()> addOEMIconsCommand() Failed.";
            // Direct, so that the menu item reaches the driver before the
            // icons, which wait in the queue behind this check.
            if (!addBVDOCCAMConfigurationMenuItem())
                qDebug() << "<WatchDogController::checkApiConnection()> addMenuItem() Failed.";
        }
    }
    if (apiClient->isConnected())
        settings->reportConnectionStatus(DRIVER_STATUS_CONNECTED);
    else
        settings->reportConnectionStatus(isDriverRunning() ? DRIVER_STATUS_NOT_ANSWERING
                                                           : DRIVER_STATUS_NOT_RUNNING);
}

// ---- viewer management -----------------------------------------------------

bool WatchDogController::isProcessRunning(const QString &exeName, std::atomic<bool> &running)
{
    bool found = false;
    const bool walked = processes().isProcessRunning(exeName.toStdString(), found);
    running = found;
    return walked;
}

bool WatchDogController::isDriverRunning()
{
    bool found = false;
    processes().isProcessRunning(DriverExecutable, found);
    return found;
}

int WatchDogController::currentMenuItemId() const
{
    return apiClient ? apiClient->menuItemId() : -1;
}

bool WatchDogController::modifyBVDocCamMenuItem()
{
    std::lock_guard locker(docCamMutex);
    isProcessRunning(ViewerExecutable, viewerRunning);
    viewerOn = bool(viewerRunning);
    commandQueue->enqueue(new ManageDocCamApplicationCommand(this, viewerOn));
    return true;
}

void WatchDogController::manageDocCamApplication(bool bFlag)
{
    qDebug() << "<WatchDogController::manageDocCamApplication()> bFlag= " << bFlag;
    if (bFlag || viewerRunning) {
        // A running viewer is asked to turn off.
        if (watchdogServer)
            watchdogServer->forwardDriverCommand(VIEWER_ON_OFF);
        return;
    }
    int result = processes().shellExecute("open", ViewerExecutable);
    if (result == platform::SE_ERR_ACCESSDENIED) {
        qDebug() << "VX=> SE_ERR_ACCESSDENIED ";
        result = processes().shellExecute("runas", ViewerExecutable);
    }
    if (result <= 32)
        qDebug() << "VX=> Error to run tessel.exe ";
}

void WatchDogController::startZoomApplicationSysMenu()
{
    qDebug() << "<WatchDogController::startZoomApplicationSysMenu()> startZoomApplicationSysMenu";
    std::lock_guard locker(docCamMutex);
    const int itemId = currentMenuItemId();
    // The flags change before the commands are queued: the dispatch thread
    // may run them at once, and their caption follows the flags.
    viewerRunning = true;
    if (!menuUpdatePending) {
        menuUpdatePending = true;
        if (itemId > 0) {
            viewerOn = !viewerOn;
            commandQueue->enqueue(new RemoveBVDOCCAMConfigureMenuItemCommand(this, itemId));
            qDebug() << "<WatchDogController::startZoomApplicationSysMenu()>  iMenuItemId: " << itemId;
            commandQueue->enqueue(new AddBVDOCCAMConfigureMenuItemCommand(this));
        }
    }
}

void WatchDogController::closeZoomApplication()
{
    std::lock_guard locker(docCamMutex);
    const int itemId = currentMenuItemId();
    // As above: the flags first, so that the replacement item gets the
    // turn-on caption however soon the dispatch thread runs it.
    viewerOn = false;
    viewerRunning = false;
    if (!menuUpdatePending) {
        menuUpdatePending = true;
        if (itemId > 0) {
            commandQueue->enqueue(new RemoveBVDOCCAMConfigureMenuItemCommand(this, itemId));
            qDebug() << "<WatchDogController::closeZoomApplication()>  iMenuItemId: " << itemId;
        }
        commandQueue->enqueue(new AddBVDOCCAMConfigureMenuItemCommand(this));
    }
    QThread::msleep(ViewerCloseSettleMs);
}

void WatchDogController::openWebPage(const QString &url)
{
    // Cursor and desktop services belong to the main thread; this runs on
    // the dispatch thread, which must not wait for the main thread either
    // (at shutdown the main thread waits for it).
    QMetaObject::invokeMethod(
        qApp,
        [url] {
            QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
            if (!QDesktopServices::openUrl(QUrl(url)))
                qDebug() << "<WatchDogController::openWebPage> Failed to Open BVWebSite Webpage in Browser.";
            QGuiApplication::restoreOverrideCursor();
        },
        Qt::QueuedConnection);
}

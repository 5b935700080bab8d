#include "WatchDogController.h"

#include "ConfigurationSettings.h"
#include "commands/CameraCommand.h"
#include "commands/CommandDispatchThread.h"
#include "commands/CommandQueue.h"
#include "config/UserInterfaceController.h"
#include "driverapi/APIClient.h"
#include "protocol/MenuItemRecord.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"
#include "server/WDServer.h"
#include "protocol/WatchdogCommand.h"

#include <QCoreApplication>
#include <QDebug>
#include <QCursor>
#include <QGuiApplication>
#include <QThread>
#include <QUrl>

namespace {

constexpr int VerifyIntervalMs = 10000;
constexpr int MenuItemDelayMs = 1200;
constexpr qint64 OemQuietTimeMs = 599; // a press counts when more than this has passed
constexpr int ViewerCloseSettleMs = 500;

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
    // The driver sees the old item removed and the new one added half a
    // second later; the main thread goes on meanwhile.
    menuItemReplaceTimer.setSingleShot(true);
    menuItemReplaceTimer.setInterval(ViewerCloseSettleMs);
    connect(&menuItemReplaceTimer, &QTimer::timeout, this,
            [this] { commandQueue->enqueue(new AddBVDOCCAMConfigureMenuItemCommand(this)); });
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
        WDServer *server = watchdogServer;
        connect(server, &WDServer::WatchdogZoomApplicationClose, this, &WatchDogController::closeZoomApplication);
        connect(server, &WDServer::WatchdogZoomApplicationON_OFF, this, &WatchDogController::modifyBVDocCamMenuItem);
        connect(server, &WDServer::startTesselApplicationSignalEmit, this,
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
    WDServer *server = WDServer::instance();
    watchdogServer = server;
    if (!server || !server->startUsbCommunication()) {
        qDebug() << "<WatchDogController::initializeWatchdogServerConnection()> startUsbCommunication failed.";
        return false;
    }
    if (server->isServerStarted())
        return false;
    server->startServer();
    return true;
}

bool WatchDogController::initializeBrivaraDriverAPIConnection()
{
    qDebug() << "<WatchDogController::initializeBrivaraDriverAPIConnection()> initializeBrivaraDriverAPIConnection";
    if (!apiClient)
        apiClient = new APIClient(this);
    APIClient *client = apiClient;
    if (client->connectToServer()) {
        client->startClient();
        QTimer::singleShot(MenuItemDelayMs, this, &WatchDogController::addMenuItem);
        qDebug() << "<WatchDogController::initializeBrivaraDriverAPIConnection()> initializeBrivaraDriverAPIConnection: "
                 << true;
        return true;
    }
    client->quit();
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
    menuItemReplaceTimer.stop();

    // The commands use the client and the server: the dispatch thread ends
    // before either goes. Then the client: once it is stopped no driver hook
    // arrives. Then the server: once it is stopped no viewer signal arrives.
    stopDispatchThread();
    stopDriverClient();
    stopWatchdogServer();

    // Hooks of a client on its way out may have queued more; dropped here.
    delete commandQueue;
    commandQueue = nullptr;

    delete uiController;
    uiController = nullptr;

    startFreshCopy();
    qDebug() << "<WatchDogController::~WatchDogController()> Exit.";
}

void WatchDogController::stopDispatchThread()
{
    if (!dispatchThread)
        return;
    // Pending commands are dropped unexecuted. The one that runs returns
    // soon: its pause ends, and a request it waits on fails at once.
    dispatchThread->requestStop();
    commandQueue->clear();
    {
        std::lock_guard locker(stopMutex);
        stopping = true;
    }
    stopStarted.notify_all();
    if (APIClient *client = apiClient)
        client->abortRequests();
    dispatchThread->wait();
    delete dispatchThread;
    dispatchThread = nullptr;
}

void WatchDogController::stopDriverClient()
{
    APIClient *client = apiClient.exchange(nullptr);
    if (!client)
        return;
    client->disconnectFromServer();
    client->requestStop();
    client->wait();
    delete client;
}

void WatchDogController::stopWatchdogServer()
{
    WDServer *server = watchdogServer.exchange(nullptr);
    if (!server)
        return;
    disconnect(server, &WDServer::WatchdogZoomApplicationClose, this, &WatchDogController::closeZoomApplication);
    disconnect(server, &WDServer::WatchdogZoomApplicationON_OFF, this, &WatchDogController::modifyBVDocCamMenuItem);
    disconnect(server, &WDServer::startTesselApplicationSignalEmit, this,
               &WatchDogController::startZoomApplicationSysMenu);
    disconnect(server, nullptr, this, nullptr);
    // Its thread ends by itself when its listening socket is closed, so it
    // is never terminated.
    if (server->isRunning()) {
        server->stopServer();
        server->waitForServerThread();
        qDebug() << "watchDogServer Finished()...";
    }
    WDServer::destroyInstance();
}

bool WatchDogController::pauseUnlessStopping(int milliseconds)
{
    std::unique_lock locker(stopMutex);
    return !stopStarted.wait_for(locker, std::chrono::milliseconds(milliseconds), [this] { return stopping; });
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
        const qint64 left = failedStartRetryMs - lifetime.elapsed();
        if (left > 0 && !system.waitUnlessSessionEnds(static_cast<int>(left)))
            return;
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
    APIClient *client = apiClient;
    if (client && client->isConnected())
        client->disconnectFromServer();
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
            if (WDServer *server = watchdogServer)
                server->forwardDriverCommand(oemBtnId);
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
    APIClient *client = apiClient;
    if (!client)
        return false;
    bool allAccepted = true;
    for (const int id : OemButtonIds)
        allAccepted = client->addOEMButton(id) && allAccepted;
    return allAccepted;
}

QString WatchDogController::caption(const QString &keyPath) const
{
    return uiController ? uiController->captionOr(keyPath, QString()) : QString();
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
    APIClient *client = apiClient;
    if (!client)
        return false;
    return add ? client->addBVDOCCAMConfigurationMenuItem(record) : client->removeBVDOCCAMConfigurationMenuItem(record);
}

bool WatchDogController::addBVDOCCAMConfigurationMenuItem()
{
    std::lock_guard locker(menuItemMutex);
    const bool result = sendMenuItemRequest(true, 0);
    menuUpdatePending = false;
    return result;
}

bool WatchDogController::removeBVDOCCAMConfigurationMenuItem(int itemId)
{
    std::lock_guard locker(menuItemMutex);
    return sendMenuItemRequest(false, itemId);
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
    APIClient *client = apiClient;
    if (!client) {
        settings->reportConnectionStatus(DRIVER_STATUS_NO_CLIENT);
        return;
    }
    if (!client->isConnected()) {
        settings->reportConnectionStatus(DRIVER_STATUS_CHECKING);
        if (client->connectToServer()) {
            client->startClient();
            // The driver needs a moment before it takes requests. Teardown
            // does not wait for it: the program is ending.
            if (!pauseUnlessStopping(MenuItemDelayMs))
                return;
            if (!commandQueue->enqueue(new AddOemIconsCommand(this)))
                qDebug() << "<WatchDogController::checkApiConnection()> addOEMIconsCommand() Failed.";
            // Direct, so that the menu item reaches the driver before the
            // icons, which wait in the queue behind this check.
            if (!addBVDOCCAMConfigurationMenuItem())
                qDebug() << "<WatchDogController::checkApiConnection()> addMenuItem() Failed.";
        }
    }
    if (client->isConnected())
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
    const APIClient *client = apiClient;
    return client ? client->menuItemId() : -1;
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
        if (WDServer *server = watchdogServer)
            server->forwardDriverCommand(VIEWER_ON_OFF);
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
    // turn-on caption, unless a viewer has connected again by then.
    viewerOn = false;
    viewerRunning = false;
    if (!menuUpdatePending) {
        menuUpdatePending = true;
        if (itemId > 0) {
            commandQueue->enqueue(new RemoveBVDOCCAMConfigureMenuItemCommand(this, itemId));
            qDebug() << "<WatchDogController::closeZoomApplication()>  iMenuItemId: " << itemId;
        }
        // The new item follows after the viewer has had time to go.
        menuItemReplaceTimer.start();
    }
}

bool WatchDogController::isWebAddress(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
           && !url.host().isEmpty();
}

void WatchDogController::openWebPage(const QString &url)
{
    const QUrl page(url, QUrl::StrictMode);
    if (!isWebAddress(page)) {
        qDebug() << "<WatchDogController::openWebPage> Not a web address:" << url;
        return;
    }
    // This runs on the dispatch thread, where starting the browser (and,
    // on Linux, giving it a scope of its own) may take its time. The cursor
    // belongs to the main thread, which this thread must not wait for (at
    // shutdown the main thread waits for it).
    QMetaObject::invokeMethod(qApp, [] { QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor)); },
                              Qt::QueuedConnection);
    if (!processes().openWebPage(page.toString(QUrl::FullyEncoded).toStdString()))
        qDebug() << "<WatchDogController::openWebPage> Failed to Open BVWebSite Webpage in Browser.";
    QMetaObject::invokeMethod(qApp, [] { QGuiApplication::restoreOverrideCursor(); }, Qt::QueuedConnection);
}

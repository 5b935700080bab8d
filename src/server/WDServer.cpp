#include "WDServer.h"

#include "ManageWatchDogServer.h"
#include "protocol/WatchdogCommand.h"
#include "camera/CameraCommunicationClass.h"
#include "camera/USBCameraHandler.h"
#include "platform/Platform.h"
#include "protocol/Channel.h"

#include <QCoreApplication>
#include <QDebug>

#include <new>

namespace net = platform::net;
namespace channel = protocol::channel;

namespace {

constexpr int BindAttempts = 12;
constexpr unsigned long BindRetryPauseMs = 5;
constexpr int ListenBacklog = 5;
constexpr unsigned long AcceptRetryPauseMs = 50;
constexpr unsigned long LightSettleMs = 500;
// A viewer that stops reading must not hold a sending thread (the main
// thread, for camera buttons) for long.
constexpr int SendTimeoutMs = 2000;

CameraCommunicationClass *library()
{
    return CameraCommunicationClass::instance();
}

} // namespace

WDServer *WDServer::singleton = nullptr;

WDServer *WDServer::instance()
{
    if (!singleton)
        singleton = new WDServer();
    return singleton;
}

void WDServer::destroyInstance()
{
    delete singleton;
    singleton = nullptr;
}

WDServer::WDServer() : WDServer(protocol::viewerChannel())
{
}

WDServer::WDServer(std::uint16_t listenPort) : WDServer(protocol::ChannelAddress::loopbackTcp(listenPort))
{
}

WDServer::WDServer(protocol::ChannelAddress listenAddress)
    : QThread(nullptr), address(std::move(listenAddress))
{
}

WDServer::~WDServer()
{
    stopServer();
    waitForServerThread();
    ManageWatchDogServer *viewerThread = nullptr;
    {
        std::lock_guard locker(connectionMutex);
        std::swap(viewerThread, connectionThread);
    }
    if (viewerThread) {
        viewerThread->wait();
        delete viewerThread;
    }

    if (USBCameraHandler *handler = cameraHandler) {
        handler->stopReading();
        handler->quit();
    }
    library()->deInitLibrary();
    library()->unloadLibraries();

    if (notifications && notifications->teardown())
        qDebug() << "Unregistration successful.";
    notifications.reset();

    {
        std::lock_guard locker(videoDevicesMutex);
        videoDevices.clear();
    }
    // The camera handlers are our children and go with us; each waits for
    // its thread, which stopReading has woken.
    if (singleton == this)
        singleton = nullptr;
}

// ---- server thread -------------------------------------------------------

bool WDServer::isServerStarted() const
{
    return serverSocketCreated;
}

void WDServer::startServer()
{
    stopping = false;
    start(QThread::InheritPriority);
}

void WDServer::run()
{
    const net::SocketHandle listener = channel::openSocket(address);
    if (listener == net::InvalidSocket) {
        qDebug() << "<WDServer::run()> Problem in creating socket.";
        return;
    }
    {
        std::lock_guard locker(listenerMutex);
        if (stopping) {
            // stopServer ran before the socket existed: nothing may be served.
            net::closeSocket(listener);
            return;
        }
        listenSocket = listener;
    }
    serverSocketCreated = true;

    if (!channel::prepareListener(listener, address))
        qDebug() << "<WDServer::run()> SetSockOpt failed.";

    const bool bound = bindListener(listener);

    try {
        // listen() on a socket that bind refused would bind it to every
        // interface on a port of the system's choosing: no viewer finds it
        // there, but the network does. Without our address, nothing listens.
        while (bound && !stopping) {
            if (!net::listenOn(listener, ListenBacklog))
                break;
            const net::SocketHandle accepted = net::acceptConnection(listener);
            if (accepted == net::InvalidSocket) {
                if (stopping)
                    break;
                // Out of descriptors, or a connection reset before we took
                // it: keep serving.
                qDebug() << "<WDServer::run()> accept failed:" << net::lastError();
                msleep(AcceptRetryPauseMs);
                continue;
            }
            acceptConnection(accepted);
        }
    } catch (const std::bad_alloc &) {
        qDebug() << "<WDServer::run()> Problem in listening client WatchDog Server socket.";
    }

    {
        std::lock_guard locker(connectionMutex);
        if (clientSocket)
            clientSocket->shutdown();
        clientSocket.reset();
    }
    {
        // Closed here, by the thread that uses it, so that no other thread
        // can ever act on a reused descriptor.
        std::lock_guard locker(listenerMutex);
        listening = false;
        if (bound)
            channel::closeListener(listenSocket, address);
        else
            net::closeSocket(listenSocket);
        listenSocket = net::InvalidSocket;
    }
    exec();
}

bool WDServer::bindListener(net::SocketHandle listener)
{
    // A restart finds the address still held for a moment; after that, the
    // holder is another program (another copy, or a stranger on the port).
    // Giving up would leave the viewer without a watchdog for the rest of
    // our life: try again every ten seconds, with one line in the log.
    std::string error;
    bool logged = false;
    for (int attempt = 1;; ++attempt) {
        if (channel::bind(listener, address, error)) {
            qDebug() << "<WDServer::run()> Socket bind successfully.";
            boundPort = address.isLocal() ? 0 : net::localPort(listener).value_or(0);
            listening = true;
            return true;
        }
        unsigned long pause = BindRetryPauseMs;
        if (attempt >= BindAttempts) {
            if (!logged)
                qDebug().noquote() << "<WDServer::run()> Cannot listen on" << QString::fromStdString(address.describe())
                                   << "(" + QString::fromStdString(error) + "); trying again every"
                                   << BindRetryIntervalMs / 1000 << "s";
            logged = true;
            pause = bindRetryIntervalMs;
        }
        std::unique_lock locker(listenerMutex);
        if (stopped.wait_for(locker, std::chrono::milliseconds(pause), [this] { return stopping.load(); }))
            return false;
    }
}

void WDServer::acceptConnection(net::SocketHandle socket)
{
    // Only our own may see the camera's buttons or take the viewer's place
    // (loopback is shared by every user and session of the machine; a Unix
    // socket tells its peer's user too). A stranger is turned away before it
    // touches the current connection.
    std::string why;
    if (!channel::peerIsOurs(socket, address, why)) {
        qDebug().noquote() << "<WDServer::run()> Connection refused:" << QString::fromStdString(why);
        net::closeSocket(socket);
        return;
    }
    if (!why.empty())
        qDebug().noquote() << "<WDServer::run()> Connection let in unchecked:" << QString::fromStdString(why);
    net::setSendTimeout(socket, SendTimeoutMs);
    auto connection = std::make_shared<SocketConnection>(socket);
    bool started = false;
    {
        std::lock_guard locker(connectionMutex);
        // A newer viewer replaces the current one, which is closed now: it
        // would never be written to again.
        if (clientSocket)
            clientSocket->shutdown();
        clientSocket = connection;
        if (!connectionThreadActive) {
            if (!connectionThread)
                connectionThread = new ManageWatchDogServer(this);
            // A thread that has just decided to end may still be returning.
            connectionThread->wait();
            connectionThreadActive = true;
            connectionThread->start(QThread::InheritPriority);
            started = true;
        }
    }
    if (started)
        emit startTesselApplicationSignalEmit();
}

bool WDServer::stopServer()
{
    stopping = true;
    std::shared_ptr<SocketConnection> connection;
    {
        std::lock_guard locker(connectionMutex);
        if (connectionThread && connectionThread->isRunning()) {
            connectionThread->requestStop();
            connectionThread->quit();
        }
        connection = std::move(clientSocket);
    }
    if (connection)
        connection->shutdown();

    wakeListener();
    quit();
    return true;
}

void WDServer::wakeListener()
{
    std::lock_guard locker(listenerMutex);
    if (listenSocket != net::InvalidSocket)
        net::shutdownSocket(listenSocket, net::Direction::Both);
    stopped.notify_all();
}

void WDServer::waitForServerThread()
{
    // A stop that lands between the loop's check and its next accept is
    // repeated until the thread has seen it.
    while (!wait(50))
        wakeListener();
    // The viewer's thread ends too: its connection was shut down.
    ManageWatchDogServer *viewerThread = nullptr;
    {
        std::lock_guard locker(connectionMutex);
        viewerThread = connectionThread;
    }
    if (viewerThread)
        viewerThread->wait();
}

std::shared_ptr<SocketConnection> WDServer::currentConnection() const
{
    std::lock_guard locker(connectionMutex);
    return clientSocket;
}

bool WDServer::isViewerConnected() const
{
    return currentConnection() != nullptr;
}

bool WDServer::connectionThreadMayEnd(const std::shared_ptr<SocketConnection> &finished)
{
    std::lock_guard locker(connectionMutex);
    if (clientSocket && clientSocket != finished && !stopping)
        return false;
    connectionThreadActive = false;
    return true;
}

void WDServer::closeConnection(const std::shared_ptr<SocketConnection> &connection)
{
    if (!connection)
        return;
    connection->shutdown();
    std::lock_guard locker(connectionMutex);
    if (clientSocket == connection)
        clientSocket.reset();
}

// ---- sending -------------------------------------------------------------

bool WDServer::sendRecord(const std::shared_ptr<SocketConnection> &connection,
                          const WatchdogMessage::Bytes &bytes)
{
    if (!connection)
        return false;
    std::lock_guard locker(sendMutex);
    return connection->sendAll(bytes.data(), bytes.size());
}

bool WDServer::sentDataToApp(const WatchdogMessage &message)
{
    if (sendRecord(currentConnection(), message.encode()))
        return true;
    qDebug() << "<WDServer::sentDataToApp()> Data Sent Failed.";
    return false;
}

namespace {

// A response carries only its named fields, whatever the request held.
WatchdogMessage cleanResponse(const WatchdogMessage &response)
{
    WatchdogMessage clean;
    clean.request = response.request;
    clean.command = response.command;
    clean.state = response.state;
    if (response.command == VIDEO_DEVICE_LIST) {
        const int count = std::clamp<int>(response.deviceCount, 0, WatchdogMessage::MaxDevices);
        clean.deviceCount = count;
        for (int i = 0; i < count; ++i)
            clean.devices[static_cast<std::size_t>(i)] = response.devices[static_cast<std::size_t>(i)];
    }
    return clean;
}

} // namespace

bool WDServer::SignalActionToZoomApplication(const WatchdogMessage &response)
{
    return sendResponseOn(currentConnection(), response);
}

bool WDServer::sendResponseOn(const std::shared_ptr<SocketConnection> &connection, const WatchdogMessage &response)
{
    if (sendRecord(connection, cleanResponse(response).encode()))
        return true;
    qDebug() << "<WDServer::SignalActionToZoomApplication()> Data Sent Failed.";
    return false;
}

void WDServer::sendCommandToApp(int command, int request, bool fromDriver)
{
    if (!watchdog_commands::isSentByWatchdog(command))
        return;

    WatchdogMessage message;
    message.command = command;
    message.request = command == ROTATE ? 1 : request;
    if (command == LIGHT) {
        // The camera needs a moment before its light state reads true.
        QThread::msleep(LightSettleMs);
        message.state = library()->getLedStatus() ? 1 : 0;
    } else if (command == CAMERA_READY || command == EXIT_DOC_CAM_APPLICATION) {
        message.state = 1;
    }

    const bool sent = sentDataToApp(message);
    if (command == ROTATE && !sent && !fromDriver) {
        if (USBCameraHandler *handler = cameraHandler)
            handler->executeCameraCommand(ROTATE);
        qDebug() << "Tessel is not open. sending command to camera";
    }
}

void WDServer::forwardDriverCommand(int command)
{
    sendCommandToApp(command, 1, true);
}

void WDServer::receiveInputBuffer(int command)
{
    if (command <= 0)
        return;
    if (command == VIEWER_ON_OFF) {
        emit WatchdogZoomApplicationON_OFF();
        return;
    }
    sendCommandToApp(command, 0);
}

void WDServer::exitDocCamApplication()
{
    sendCommandToApp(EXIT_DOC_CAM_APPLICATION, 0);
}

// ---- viewer requests ----------------------------------------------------

void WDServer::processViewerRequest(int command, WatchdogMessage &message)
{
    USBCameraHandler *handler = cameraHandler;
    std::uint8_t state = 0;
    switch (command) {
    case VIEWER_ON_OFF:
        if (handler)
            handler->disableFocusByWatchdog();
        emit WatchdogZoomApplicationClose();
        break;
    case AUTO_FOCUS:
    case LIGHT:
    case ROTATE:
        state = handler && handler->executeCameraCommand(command) ? 1 : 0;
        break;
    case LED_STATUS:
        state = library()->getLedStatus() ? 1 : 0;
        break;
    case VIDEO_DEVICE_LIST: {
        const QList<VideoDeviceEntry> devices = videoDeviceList();
        const auto count = std::min<qsizetype>(devices.size(), WatchdogMessage::MaxDevices);
        message.devices = {};
        for (qsizetype i = 0; i < count; ++i) {
            const VideoDeviceEntry &entry = devices[i];
            message.devices[static_cast<std::size_t>(i)] = entry;
            qDebug() << "Device Index:" << entry.deviceIndex << "Device Name:" << entry.deviceName.data();
        }
        message.deviceCount = static_cast<std::int32_t>(count);
        state = bOurProduct ? 1 : 0;
        break;
    }
    case FOCUS_BY_WATCHDOG_ON:
        if (handler)
            handler->enableFocusByWatchdog();
        break;
    case FOCUS_BY_WATCHDOG_OFF:
        if (handler)
            handler->disableFocusByWatchdog();
        break;
    default: // 117 and anything else: nothing to do
        break;
    }
    message.request = 0;
    message.command = command;
    message.state = state;
}

bool WDServer::turnOffLightOnDisconnect(const std::shared_ptr<SocketConnection> &closing)
{
    if (!library()->getLedStatus())
        return false;
    WatchdogMessage response;
    processViewerRequest(LIGHT, response);
    // Answered on the connection that is closing, not on whatever viewer
    // is current by now.
    if (!sendResponseOn(closing, response)) {
        qDebug() << "<ManageWatchDogServer::run()> SignalActionToZoomApplication sent failed.";
        return false;
    }
    return true;
}

QList<VideoDeviceEntry> WDServer::videoDeviceList() const
{
    std::lock_guard locker(videoDevicesMutex);
    return videoDevices;
}

// ---- camera discovery ----------------------------------------------------

namespace {

constexpr std::uint16_t CameraVendorId = 0x7A3E;
constexpr std::uint16_t CameraHidProductId = 0x4B20;
const char *const CameraDeviceName = "Brivara tessel Visualizer";

bool isCameraVideoPath(const QString &path)
{
    return (path.contains(QLatin1String("vid_7a3e")) && path.contains(QLatin1String("pid_4b10")))
           || path.contains(QLatin1String(CameraDeviceName));
}

bool isCameraHidPath(const QString &path)
{
    return path.contains(QLatin1String("vid_7a3e")) && path.contains(QLatin1String("pid_4b20"));
}

} // namespace

bool WDServer::featchVideoDeviceInformation()
{
    const auto paths = platform::current().videoDevices().listDevicePaths();
    if (!paths || paths->empty())
        return false;

    // Built aside and put in place at once: the connection thread reads the
    // list while we rebuild it.
    QList<VideoDeviceEntry> rebuilt;
    std::int32_t index = 0;
    for (const std::string &devicePath : platform::indexedDevicePaths(paths)) {
        const QString path = QString::fromStdString(devicePath);
        qDebug() << "Video Device Interface filePath =>" << path;
        if (isCameraVideoPath(path)) {
            rebuilt.append(VideoDeviceEntry::make(index, CameraDeviceName));
            qDebug() << "tessel Device Index: " << index;
        }
        ++index;
    }
    std::lock_guard locker(videoDevicesMutex);
    videoDevices.swap(rebuilt);
    return true;
}

bool WDServer::OpenHIDDevice()
{
    if (!featchVideoDeviceInformation())
        qDebug() << "<WDServer::OpenHIDDevice()> failed to featchVideoDeviceInformation.";

    platform::Hid &hid = platform::current().hid();
    const auto paths = hid.listInterfaces();
    if (!paths)
        return false;

    bool found = false;
    for (const std::string &devicePath : *paths) {
        const QString path = QString::fromStdString(devicePath);
        if (!isCameraHidPath(path))
            continue;
        qDebug() << "Device Interface filePath =>" << path;
        int error = 0;
        const std::shared_ptr<platform::HidDevice> device = hid.open(devicePath, error);
        if (!device) {
            qDebug() << "open HID device INVALID_HANDLE_VALUE = >" << error;
            continue;
        }
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        if (!device->attributes(vendor, product) || vendor != CameraVendorId
            || product != CameraHidProductId) {
            device->close();
            continue;
        }
        // The last match is kept; the handle it replaces (an earlier match,
        // or the one from before a suspend) is closed rather than leaked.
        if (hidDeviceHandle && hidDeviceHandle != device)
            hidDeviceHandle->close();
        hidDeviceHandle = device;
        qDebug() << "Camera found - tessel";
        found = true;
    }
    return found;
}

bool WDServer::isCameraPresent()
{
    featchVideoDeviceInformation();
    const auto paths = platform::current().hid().listInterfaces();
    if (!paths)
        return false;
    bool present = false;
    for (const std::string &devicePath : *paths) {
        const QString path = QString::fromStdString(devicePath);
        if (isCameraHidPath(path)) {
            qDebug() << "Device Interface filePath =>" << path;
            present = true;
        }
    }
    return present;
}

bool WDServer::setUpNotifications()
{
    auto source = platform::current().createDeviceNotifications();
    if (!source || !source->create(*this))
        return false;
    notifications = std::move(source);
    int lastError = 0;
    notificationsRegistered = notifications->registerForDeviceNotifications(lastError);
    if (!notificationsRegistered)
        qDebug() << "Error while registering device is: " << lastError;
    return notificationsRegistered;
}

bool WDServer::startUsbCommunication()
{
    bool result = notifications ? notificationsRegistered : setUpNotifications();

    auto *handler = new USBCameraHandler(this);
    cameraHandler = handler;
    const bool opened = OpenHIDDevice();
    if (!bOurProduct && opened) {
        bOurProduct = true;
        if (!library()->loadLibraries())
            qDebug() << "library not loaded";
        result = library()->initLibrary();
        qDebug() << "<WDServer::startUsbCommunication()> initZentraLibrary(): " << result;
        handler->setDeviceHandle(hidDeviceHandle);
        if (!handler->isRunning())
            handler->startReading();
        sendCommandToApp(CAMERA_READY, 1);
        qDebug() << "HID device opened";
    }
    connect(handler, &USBCameraHandler::sendInputBufferToWatchDog, this, &WDServer::receiveInputBuffer);
    connect(handler, &USBCameraHandler::exitApplicationToWatchDog, this, &WDServer::exitDocCamApplication);
    return result;
}

void WDServer::startCameraHandler()
{
    USBCameraHandler *handler = cameraHandler;
    handler->setDeviceHandle(hidDeviceHandle);
    if (!handler->isRunning())
        handler->startReading();
}

void WDServer::stopCameraHandler()
{
    USBCameraHandler *handler = cameraHandler;
    if (!handler)
        return;
    handler->setDeviceHandle(nullptr);
    if (handler->isRunning())
        handler->stopReading();
}

// ---- device and power notifications (main thread) -----------------------

void WDServer::deviceArrived(bool deviceInterface)
{
    if (!deviceInterface || bOurProduct || !isCameraPresent())
        return;
    qDebug() << "camera connected";
    bOurProduct = true;
    startUsbCommunication();
    startCameraHandler();
    library()->loadLibraries();
    library()->initLibrary();
    sendCommandToApp(CAMERA_READY, 0);
}

void WDServer::deviceRemoved()
{
    if (isCameraPresent() || !bOurProduct)
        return;
    qDebug() << "device removal";
    bOurProduct = false;
    if (hidDeviceHandle) {
        hidDeviceHandle->cancelIo();
        hidDeviceHandle->close();
        hidDeviceHandle.reset();
    }
    stopCameraHandler();
    library()->deInitLibrary();
    library()->unloadLibraries();
    sendCommandToApp(EXIT_DOC_CAM_APPLICATION, 0);
    QCoreApplication::quit();
}

void WDServer::powerEvent(int event)
{
    switch (static_cast<platform::PowerEvent>(event)) {
    case platform::PowerEvent::ResumeCritical:
        qDebug() << "Windows Event: PBT_APMRESUMECRITICAL";
        break;
    case platform::PowerEvent::ResumeSuspend:
        resumeFromSuspend();
        break;
    case platform::PowerEvent::ResumeStandby:
        qDebug() << "Windows Event: PBT_APMRESUMESTANDBY";
        break;
    case platform::PowerEvent::ResumeAutomatic:
        qDebug() << "Windows Event: PBT_APMRESUMEAUTOMATIC";
        break;
    }
}

void WDServer::resumeFromSuspend()
{
    qDebug() << "Windows Event: PBT_APMRESUMESUSPEND";
    qDebug() << "serverInstance->bOurProduct: " << bool(bOurProduct);
    if (bOurProduct)
        sendCommandToApp(CAMERA_READY, 0);
    stopCameraHandler();
    startUsbCommunication();
    startCameraHandler();
}

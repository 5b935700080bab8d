#pragma once

#include "protocol/VideoDeviceEntry.h"
#include "protocol/WatchdogMessage.h"
#include "protocol/ChannelAddress.h"
#include "protocol/ServicePorts.h"
#include "protocol/SocketConnection.h"
#include "platform/DeviceNotifications.h"
#include "platform/Hid.h"
#include "platform/Net.h"

#include <QList>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class ManageWatchDogServer;
class USBCameraHandler;

// The watchdog's end of the link to the viewer: a server for one viewer at a
// time (on the user's own Unix socket, or on loopback TCP), the sending of records to it, and the camera-side state that the
// viewer protocol needs (the camera's HID interface, the button reader, the
// video device list, the device and power notifications).
//
// Threads: the object lives on the main thread, where its slots and the
// notifications run; run() is the accept loop; a ManageWatchDogServer thread
// serves the connected viewer; the dispatch thread forwards driver commands.
// Every record goes out whole under one send lock.
class WDServer : public QThread, private platform::DeviceNotificationListener
{
    Q_OBJECT

public:
    static WDServer *instance();
    static void destroyInstance();

    // A server on the process's viewer channel.
    WDServer();
    explicit WDServer(protocol::ChannelAddress address);
    // A server on the given loopback port (0: any free port, see
    // listeningPort()).
    explicit WDServer(std::uint16_t port);
    ~WDServer() override;

    bool startUsbCommunication();
    bool isServerStarted() const;
    void startServer();
    // Ends the viewer connection and its thread, and the server thread: the
    // listening socket is closed, so a waiting accept returns.
    bool stopServer();
    // Waits until the server thread and the viewer's thread have ended after
    // stopServer().
    void waitForServerThread();

    bool sentDataToApp(const WatchdogMessage &message);
    bool SignalActionToZoomApplication(const WatchdogMessage &response);
    void sendCommandToApp(int command, int request, bool fromDriver = false);
    void forwardDriverCommand(int command);

    // Carries out a viewer request and turns `message` into its response.
    void processViewerRequest(int command, WatchdogMessage &message);
    bool turnOffLightOnDisconnect(const std::shared_ptr<SocketConnection> &closing);

    bool featchVideoDeviceInformation();
    bool OpenHIDDevice();
    bool isCameraPresent();

    // For the connection thread and for tests.
    std::shared_ptr<SocketConnection> currentConnection() const;
    bool isViewerConnected() const;
    QList<VideoDeviceEntry> videoDeviceList() const;
    bool isOurProductPresent() const { return bOurProduct; }
    USBCameraHandler *currentCameraHandler() const { return cameraHandler; }
    // The port the server listens on, once it does (TCP).
    std::uint16_t listeningPort() const { return boundPort; }
    const protocol::ChannelAddress &channelAddress() const { return address; }
    // Bound and about to serve (either kind of channel).
    bool isListening() const { return listening; }
    // After a failed bind the server tries again this often.
    static constexpr unsigned long BindRetryIntervalMs = 10000;
    // For tests: a shorter wait between attempts (the log line stays).
    void setBindRetryInterval(unsigned long milliseconds) { bindRetryIntervalMs = milliseconds; }

    // Called by the connection thread when its connection has ended: true
    // when it may end, false when a newer connection waits to be served.
    bool connectionThreadMayEnd(const std::shared_ptr<SocketConnection> &finished);
    // Ends a connection and forgets it if it is still the current one.
    void closeConnection(const std::shared_ptr<SocketConnection> &connection);

signals:
    void WatchdogZoomApplicationClose();
    void WatchdogZoomApplicationON_OFF();
    void startTesselApplicationSignalEmit();

public slots:
    void receiveInputBuffer(int command);
    void exitDocCamApplication();

protected:
    void run() override;

private:
    bool bindListener(platform::net::SocketHandle listener);
    void acceptConnection(platform::net::SocketHandle socket);
    void wakeListener();
    bool sendResponseOn(const std::shared_ptr<SocketConnection> &connection, const WatchdogMessage &response);
    bool sendRecord(const std::shared_ptr<SocketConnection> &connection,
                    const WatchdogMessage::Bytes &bytes);
    bool setUpNotifications();
    void startCameraHandler();
    void stopCameraHandler();

    // platform::DeviceNotificationListener (main thread)
    void deviceArrived(bool deviceInterface) override;
    void deviceRemoved() override;
    void powerEvent(int event) override;
    void resumeFromSuspend();

    static WDServer *singleton;

    const protocol::ChannelAddress address;
    std::atomic<std::uint16_t> boundPort{0};
    std::atomic<bool> listening{false};
    std::atomic<unsigned long> bindRetryIntervalMs{BindRetryIntervalMs};

    // The viewer connection (clientSocket) and its thread.
    mutable std::mutex connectionMutex;
    std::shared_ptr<SocketConnection> clientSocket;
    ManageWatchDogServer *connectionThread = nullptr;
    bool connectionThreadActive = false;
    std::mutex sendMutex;

    std::atomic<bool> bOurProduct{false};
    std::shared_ptr<platform::HidDevice> hidDeviceHandle;
    std::atomic<USBCameraHandler *> cameraHandler{nullptr};
    std::atomic<bool> serverSocketCreated{false};
    std::atomic<bool> stopping{false};
    std::mutex listenerMutex; // guards listenSocket
    std::condition_variable stopped; // ends the wait between bind attempts
    platform::net::SocketHandle listenSocket = platform::net::InvalidSocket;

    std::unique_ptr<platform::DeviceNotifications> notifications; // the notification "window"
    bool notificationsRegistered = false;

    mutable std::mutex videoDevicesMutex;
    QList<VideoDeviceEntry> videoDevices;
};

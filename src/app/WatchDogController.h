#pragma once

#include "commands/CommandHandler.h"
#include "driverapi/APIEventHandler.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <condition_variable>
#include <mutex>

class APIClient;
class CommandDispatchThread;
class CommandQueue;
class UserInterfaceController;
class WDServer;

namespace platform {
class InstanceLock;
}

// The centre of the watchdog: starts and stops everything, hears the
// driver's events (APIEventHandler) and does the work of the queued commands
// (CommandHandler), keeps the viewer and the driver's menu item in step.
//
// Threads: created, started and destroyed on the main thread, where the
// server's signals and the timers arrive; the driver hooks run on the API
// client's receive thread and only queue commands; the CommandHandler
// operations run on the dispatch thread, one at a time.
class WatchDogController : public APIEventHandler, public CommandHandler
{
    Q_OBJECT

public:
    static WatchDogController *instance();
    static void destroyInstance();

    bool startCommunications();

    // The session lock, given up just before the fresh copy starts so that
    // the copy is not refused by it.
    void setInstanceLock(platform::InstanceLock *lock);

    // The OEM button ids registered with the driver, in registration order.
    static const int OemButtonIds[14];
    // What OEM button 23 may open: an http or https address with a host.
    // The language file names it; a file or a program is never opened.
    static bool isWebAddress(const QUrl &url);

    // A start that failed is not retried more often than this.
    static inline int failedStartRetryMs = 10000;

    // True once a controller has ended wanting a fresh copy that the
    // service manager is to start.
    static bool freshCopyLeftToServiceManager() { return freshCopyDelegated; }

public slots:
    bool modifyBVDocCamMenuItem();

private slots:
    void verifyBVDAPIConnectionStatus();
    bool initializeApplication();
    bool addMenuItem();
    void closeZoomApplication();
    void startZoomApplicationSysMenu();
    bool handleDisconnection(int disconnectionReason) override;
    bool handleOemBtnPressed(int oemBtnId) override;
    bool handleMenuItemClicked(int itemId) override;
    bool handleBrivaraDriverExit() override;
    void bvdApiDisconnected(int reason) override;
    void bvdApiOemButtonPressed(int oemBtnId) override;
    void shutdownApplication() override;
    void checkApiConnection() override;
    bool addOEMIcons() override;
    bool addBVDOCCAMConfigurationMenuItem() override;
    bool removeBVDOCCAMConfigurationMenuItem(int itemId) override;
    void manageDocCamApplication(bool bFlag) override;

private:
    WatchDogController();
    ~WatchDogController() override;

    bool initializeWatchdogServerConnection();
    bool initializeBrivaraDriverAPIConnection();
    bool isProcessRunning(const QString &exeName, std::atomic<bool> &running);
    bool isDriverRunning();
    void openWebPage(const QString &url);
    bool sendMenuItemRequest(bool add, int itemId);
    QString caption(const QString &keyPath) const;
    int currentMenuItemId() const;
    void startFreshCopy();
    void stopDispatchThread();
    void stopDriverClient();
    void stopWatchdogServer();
    // Waits on the dispatch thread; false when shutdown cut the pause short.
    bool pauseUnlessStopping(int milliseconds);

    static WatchDogController *singleton;
    static inline bool freshCopyDelegated = false;
    friend struct WatchDogControllerTestAccess;

    // Written on the main thread, read by the dispatch thread's commands.
    std::atomic<APIClient *> apiClient{nullptr};
    CommandQueue *commandQueue = nullptr;
    CommandDispatchThread *dispatchThread = nullptr;
    QTimer verifyTimer;
    // Time since the last OEM press, on a monotonic clock.
    QElapsedTimer oemButtonClock;
    std::atomic<WDServer *> watchdogServer{nullptr};
    // After a viewer closes, the replacement menu item waits this long.
    QTimer menuItemReplaceTimer;
    std::mutex menuItemMutex;
    std::atomic<bool> viewerOn{false};
    std::atomic<bool> menuUpdatePending{false};
    std::mutex docCamMutex;
    UserInterfaceController *uiController = nullptr;
    std::atomic<bool> viewerRunning{false};

    // Set when teardown begins: a pause on the dispatch thread ends early.
    std::mutex stopMutex;
    std::condition_variable stopStarted;
    bool stopping = false;

    platform::InstanceLock *instanceLock = nullptr;
    QElapsedTimer lifetime;
    bool started = false;
};

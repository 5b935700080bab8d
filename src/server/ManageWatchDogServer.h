#pragma once

#include "protocol/WatchdogMessage.h"

#include <QThread>

#include <atomic>

class WDServer;

// Serves the connected viewer: reads its records whole, carries out its
// requests and answers them, and notices when it goes away. The thread
// follows the server's current connection, so a viewer that replaces another
// is served by the same thread.
class ManageWatchDogServer : public QThread
{
    Q_OBJECT

public:
    explicit ManageWatchDogServer(WDServer *server);
    ~ManageWatchDogServer() override;

    // Ends the thread quietly (no close signal) after the current record.
    void requestStop();

protected:
    void run() override;

private:
    void handleRecord(const WatchdogMessage::Bytes &record);

    WDServer *const server;
    std::atomic<bool> stopRequested{false};
};

#pragma once

#include "protocol/ChannelAddress.h"
#include "protocol/MenuItemRecord.h"
#include "protocol/ServicePorts.h"
#include "protocol/SocketConnection.h"

#include <QThread>
#include <condition_variable>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class APIEventHandler;

// The watchdog's client of the driver's API (the user's driver.sock, or
// loopback port 800): requests are made
// from the dispatch thread and wait up to 30 s for their answer, one at a
// time; this thread receives and decodes everything the driver sends and
// hands its events to the event handler. The client never reconnects by
// itself.
class APIClient : public QThread
{
    Q_OBJECT

public:
    static constexpr unsigned long AnswerTimeoutMs = 30000;

    // On the process's driver channel.
    explicit APIClient(APIEventHandler *handler);
    APIClient(APIEventHandler *handler, protocol::ChannelAddress address);
    // On a loopback TCP port.
    APIClient(APIEventHandler *handler, std::uint16_t port);
    ~APIClient() override;

    bool connectToServer();
    // Ends the connection; every request waiting for an answer fails at once.
    bool disconnectFromServer();
    // For shutdown: ends the connection, and every request, waiting or yet
    // to come, fails at once.
    void abortRequests();
    bool isConnected() const;
    void startClient();
    void requestStop();

    bool addBVDOCCAMConfigurationMenuItem(const MenuItemRecord &record);
    bool removeBVDOCCAMConfigurationMenuItem(const MenuItemRecord &record);
    bool addOEMButton(int id);
    int menuItemId() const;

    // For tests: how long a request waits for its answer.
    void setAnswerTimeout(unsigned long milliseconds) { answerTimeoutMs = milliseconds; }

protected:
    void run() override;

private:
    bool initialize();
    void handleCommunication();
    bool sendMenuRequest(std::uint16_t type, const MenuItemRecord &record);
    struct Exchange
    {
        // Disconnected: the connection ended while the request was under way.
        enum Outcome { NotConnected, SendFailed, Disconnected, TimedOut, Answered } outcome = NotConnected;
        std::int32_t value = 0;
    };
    // Sends a request and waits for its answer; the caller holds requestLock.
    Exchange exchange(const unsigned char *request, std::size_t size);
    void storeAnswer(std::int32_t value);
    void wakeWaitingRequests();
    std::shared_ptr<SocketConnection> connection() const;

    APIEventHandler *const handler;
    const protocol::ChannelAddress server;
    std::optional<std::uint32_t> address;

    // One request at a time: held across a request's send and its wait.
    std::mutex requestLock;
    // Guards the answer and what ends a wait. Never held during a send, so
    // the receive thread stores an answer, and goes on to the driver's next
    // message, however long a send to a stalled driver blocks.
    std::mutex answerMutex;
    std::condition_variable answerReady;
    std::int32_t answer = 0;
    std::uint64_t answersReceived = 0;
    std::uint64_t disconnections = 0;
    bool requestsAborted = false;
    std::atomic<std::int32_t> storedMenuItemId{-1};

    mutable std::mutex socketMutex; // guards socket and address
    std::shared_ptr<SocketConnection> socket;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> connected{false};
    unsigned long answerTimeoutMs = AnswerTimeoutMs;
    std::atomic<bool> refusalLogged{false};
};

#pragma once

#include "protocol/ChannelAddress.h"
#include "protocol/MenuItemRecord.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A driver API server for tests, on a loopback port of the system's choice.
// It records every request and answers it by the current mode.
class TestDriver
{
public:
    enum class Mode {
        Normal, // a button id comes back; a menu item gets the next id
        Reject, // -1
        Silent, // no answer at all
        Fixed,  // always fixedValue
    };

    struct Request
    {
        std::uint16_t type = 0;
        std::int32_t length = 0;
        std::vector<std::uint8_t> payload;
        std::vector<std::uint8_t> wire; // header and payload as received

        std::int32_t buttonId() const;
        MenuItemRecord menuItem() const;
    };

    // On the given loopback port; 0 lets the system pick one.
    explicit TestDriver(std::uint16_t port = 0);
    // On either kind of channel (a Unix socket, or TCP).
    explicit TestDriver(const protocol::ChannelAddress &address);
    ~TestDriver();

    std::uint16_t port() const { return listeningPort; }

    void setMode(Mode mode, std::int32_t fixedValue = 0);
    bool waitForConnection(int timeoutMs = 3000);
    bool waitForRequests(std::size_t count, int timeoutMs = 3000);
    std::vector<Request> requests() const;
    int connections() const;

    bool sendBytes(const void *data, std::size_t size);
    bool sendMessage(std::int32_t type, std::int32_t value, std::int32_t extraLength = 0);
    // Closes the current connection, as a driver that goes away would.
    void dropConnection();

private:
    void serve();
    void handle(int connection);

    protocol::ChannelAddress where;
    int listener = -1;
    std::uint16_t listeningPort = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;

    mutable std::mutex mutex;
    std::condition_variable changed;
    int client = -1;
    int accepted = 0;
    Mode mode = Mode::Normal;
    std::int32_t fixed = 0;
    std::int32_t nextMenuId = 1;
    std::vector<Request> received;
};

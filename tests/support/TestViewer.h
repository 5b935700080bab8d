#pragma once

#include "protocol/ChannelAddress.h"
#include "protocol/WatchdogMessage.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// A minimal viewer for tests: a blocking loopback connection with timeouts.
class TestViewer
{
public:
    // Connects to 127.0.0.1:port, retrying for up to two seconds.
    explicit TestViewer(std::uint16_t port);
    // The same on either kind of channel (a Unix socket, or TCP).
    explicit TestViewer(const protocol::ChannelAddress &address);
    ~TestViewer();

    TestViewer(const TestViewer &) = delete;
    TestViewer &operator=(const TestViewer &) = delete;

    bool isConnected() const { return socket >= 0; }

    bool send(const WatchdogMessage &message);
    bool sendRequest(std::int32_t command, std::uint8_t state = 0);
    bool sendBytes(const void *data, std::size_t size);

    // The next whole record, or nothing when none arrives in time.
    std::optional<WatchdogMessage> receive(int timeoutMs = 3000);
    // The raw bytes of the next record (to check the padding).
    std::optional<WatchdogMessage::Bytes> receiveBytes(int timeoutMs = 3000);
    // True when not a single byte arrives within the time.
    bool silentFor(int milliseconds);
    // True when the watchdog closes the connection within the time.
    bool closedByPeer(int timeoutMs = 3000);

    // Stops sending but keeps reading (the watchdog sees the viewer close).
    void shutdownSending();
    void close();

private:
    int socket = -1;
};

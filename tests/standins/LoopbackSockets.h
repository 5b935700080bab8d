#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Blocking loopback sockets for the tests' side of a conversation. Every
// receive gives up after a few seconds, so a silent stand-in fails a test
// instead of hanging it.
class TestSocket
{
public:
    explicit TestSocket(int fd = -1);
    ~TestSocket();
    TestSocket(TestSocket &&other) noexcept;
    TestSocket &operator=(TestSocket &&other) noexcept;

    static TestSocket connectTo(std::uint16_t port);

    bool isValid() const { return fd >= 0; }
    int get() const { return fd; }
    void close();

    bool sendAll(const Bytes &bytes) const;
    // Exactly `size` bytes, or none when they do not all come in time.
    std::optional<Bytes> receiveExactly(std::size_t size, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // True when the peer closes the connection (without sending more) in time.
    bool closedByPeer(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // True when nothing at all arrives for this long.
    bool staysQuiet(std::chrono::milliseconds period) const;

private:
    int fd;
};

// A listening socket on 127.0.0.1 with a port of the system's choosing.
class TestListener
{
public:
    // With `listening` false the port is only reserved: connections to it are
    // refused until listen() is called.
    explicit TestListener(bool listening = true);

    std::uint16_t port() const { return boundPort; }
    void listen();
    TestSocket accept(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    TestSocket socket;
    std::uint16_t boundPort = 0;
};

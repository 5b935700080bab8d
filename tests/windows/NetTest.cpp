// Windows Sockets behind the core's socket calls, on loopback: data gets
// through whole, and the calls that the core stops its threads with (shut
// down, close) wake a thread blocked in accept or receive at once.
#include "platform/Net.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

namespace {

namespace net = platform::net;
using namespace std::chrono_literals;

constexpr auto WakeDeadline = 20s;

class Winsock : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(net::startup()); }
    void TearDown() override
    {
        for (const net::SocketHandle socket : sockets)
            net::closeSocket(socket);
        net::cleanup();
    }

    net::SocketHandle track(net::SocketHandle socket)
    {
        if (socket != net::InvalidSocket)
            sockets.push_back(socket);
        return socket;
    }

    // A socket listening on 127.0.0.1 at a port of the system's choice.
    net::SocketHandle listener(std::uint16_t &port)
    {
        const net::SocketHandle socket = track(net::openTcpSocket());
        EXPECT_NE(socket, net::InvalidSocket);
        EXPECT_TRUE(net::setListenerAddressOption(socket));
        EXPECT_TRUE(net::bindTo(socket, net::LoopbackAddress, 0));
        EXPECT_TRUE(net::listenOn(socket, 5));
        port = net::localPort(socket).value_or(0);
        EXPECT_NE(port, 0);
        return socket;
    }

    // A connected pair: the client's end and the server's accepted end.
    std::pair<net::SocketHandle, net::SocketHandle> connectedPair()
    {
        std::uint16_t port = 0;
        const net::SocketHandle server = listener(port);
        const net::SocketHandle client = track(net::openTcpSocket());
        EXPECT_TRUE(net::connectTo(client, net::LoopbackAddress, port));
        const net::SocketHandle accepted = track(net::acceptConnection(server));
        EXPECT_NE(accepted, net::InvalidSocket);
        return {client, accepted};
    }

    std::vector<net::SocketHandle> sockets;
};

TEST_F(Winsock, LoopbackConnectionCarriesEveryByteAndThenTheEnd)
{
    auto [client, server] = connectedPair();
    // More than the socket buffers hold, so sends are partial and continued.
    std::vector<unsigned char> sent(8 << 20);
    std::iota(sent.begin(), sent.end(), static_cast<unsigned char>(7));
    auto sending = std::async(std::launch::async, [&, sender = client] {
        const bool all = net::sendAll(sender, sent.data(), sent.size());
        net::shutdownSocket(sender, net::Direction::Send);
        return all;
    });

    std::vector<unsigned char> received;
    std::vector<unsigned char> chunk(65536);
    long got;
    while ((got = net::receiveSome(server, chunk.data(), chunk.size())) > 0)
        received.insert(received.end(), chunk.begin(), chunk.begin() + got);
    EXPECT_EQ(got, 0) << "the peer's shutdown reads as the end, not as an error";
    EXPECT_TRUE(sending.get());
    EXPECT_TRUE(received == sent);
}

TEST_F(Winsock, AListenerKeepsItsPortFromOtherSocketsAndGetsItBackAtOnce)
{
    std::uint16_t port = 0;
    const net::SocketHandle server = listener(port);
    BOOL exclusive = FALSE;
    int length = sizeof exclusive;
    ASSERT_EQ(::getsockopt(static_cast<SOCKET>(server), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                           reinterpret_cast<char *>(&exclusive), &length),
              0);
    EXPECT_TRUE(exclusive);

    // Another program asking to share the port, as SO_REUSEADDR allows on
    // Windows, is refused.
    const net::SocketHandle intruder = track(net::openTcpSocket());
    const BOOL share = TRUE;
    ::setsockopt(static_cast<SOCKET>(intruder), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&share),
                 sizeof share);
    EXPECT_FALSE(net::bindTo(intruder, net::LoopbackAddress, port));

    // A fresh copy binds the port again at once, although the last viewer
    // connection, closed from our side, is still winding down.
    const net::SocketHandle client = track(net::openTcpSocket());
    ASSERT_TRUE(net::connectTo(client, net::LoopbackAddress, port));
    const net::SocketHandle accepted = net::acceptConnection(server);
    ASSERT_NE(accepted, net::InvalidSocket);
    net::shutdownSocket(accepted, net::Direction::Both);
    net::closeSocket(accepted);
    net::closeSocket(server);
    sockets.erase(std::find(sockets.begin(), sockets.end(), server));
    const net::SocketHandle again = track(net::openTcpSocket());
    ASSERT_TRUE(net::setListenerAddressOption(again));
    EXPECT_TRUE(net::bindTo(again, net::LoopbackAddress, port));
}

TEST_F(Winsock, ResolvesLocalhostToLoopback)
{
    EXPECT_EQ(net::resolveIPv4("localhost"), std::optional<std::uint32_t>(net::LoopbackAddress));
    EXPECT_EQ(net::resolveIPv4("127.0.0.1"), std::optional<std::uint32_t>(net::LoopbackAddress));
}

TEST_F(Winsock, ShutdownWakesABlockedAcceptAndLaterAcceptsFail)
{
    std::uint16_t port = 0;
    const net::SocketHandle server = listener(port);
    auto accepting = std::async(std::launch::async, [server] { return net::acceptConnection(server); });
    std::this_thread::sleep_for(200ms); // let it block
    EXPECT_TRUE(net::shutdownSocket(server, net::Direction::Both));
    const bool woke = accepting.wait_for(WakeDeadline) == std::future_status::ready;
    if (!woke)
        net::closeSocket(server); // release the thread before the test ends
    ASSERT_TRUE(woke);
    EXPECT_EQ(accepting.get(), net::InvalidSocket);
    // As on Linux, a listener that was shut down accepts nothing more.
    EXPECT_EQ(net::acceptConnection(server), net::InvalidSocket);
}

TEST_F(Winsock, ClosingWakesABlockedAccept)
{
    std::uint16_t port = 0;
    const net::SocketHandle server = listener(port);
    sockets.clear(); // closed by the test itself
    auto accepting = std::async(std::launch::async, [server] { return net::acceptConnection(server); });
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(net::closeSocket(server));
    ASSERT_EQ(accepting.wait_for(WakeDeadline), std::future_status::ready);
    EXPECT_EQ(accepting.get(), net::InvalidSocket);
}

TEST_F(Winsock, ShutdownWakesABlockedReceive)
{
    auto [client, server] = connectedPair();
    auto receiving = std::async(std::launch::async, [reader = server] {
        char byte;
        return net::receiveSome(reader, &byte, 1);
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(net::shutdownSocket(server, net::Direction::Both));
    const bool woke = receiving.wait_for(WakeDeadline) == std::future_status::ready;
    if (!woke)
        net::closeSocket(client); // the peer's end wakes it, if nothing else did
    ASSERT_TRUE(woke);
    EXPECT_LE(receiving.get(), 0);
}

TEST_F(Winsock, SendTimeoutEndsASendToAPeerThatDoesNotRead)
{
    auto [client, server] = connectedPair();
    (void)server; // connected, never read
    ASSERT_TRUE(net::setSendTimeout(client, 200));
    std::vector<char> data(64 << 20);
    EXPECT_FALSE(net::sendAll(client, data.data(), data.size()));
    EXPECT_EQ(net::lastError(), WSAETIMEDOUT);
}

TEST_F(Winsock, ClosedAndInvalidSocketsGiveErrors)
{
    EXPECT_FALSE(net::closeSocket(net::InvalidSocket));
    const net::SocketHandle socket = net::openTcpSocket();
    ASSERT_NE(socket, net::InvalidSocket);
    EXPECT_FALSE(net::connectTo(socket, net::LoopbackAddress, 0));
    ASSERT_TRUE(net::closeSocket(socket));
    char byte = 0;
    EXPECT_EQ(net::sendSome(socket, &byte, 1), -1);
    EXPECT_EQ(net::lastError(), WSAENOTSOCK);
    EXPECT_FALSE(net::localPort(socket).has_value());
}

} // namespace

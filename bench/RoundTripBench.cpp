// Round trips over both kinds of channel, in the same run: the user's Unix
// sockets (the Linux default) and loopback TCP:
//  - a viewer's LED_STATUS request to its answer (target: median under 200 us);
//  - the driver client's ADD_OEM_BUTTON to its answer (target: median under 200 us).
// And what a connection's check of its peer costs: SO_PEERCRED on a Unix
// socket against the sock_diag look-ups of TCP (the server's check of the
// peer, the client's check of the listener).
#include "LatencySamples.h"

#include "driverapi/APIClient.h"
#include "driverapi/APIEventHandler.h"
#include "server/WDServer.h"
#include "platform/LocalSocket.h"
#include "protocol/Channel.h"
#include "protocol/WatchdogCommand.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "TestDriver.h"
#include "TestViewer.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

namespace {

namespace channel = protocol::channel;

// A Unix socket in a folder of the run's own, or a free loopback port.
protocol::ChannelAddress channelFor(bool unixSocket, const QTemporaryDir &folder, const char *name)
{
    if (unixSocket)
        return protocol::ChannelAddress::localSocket(folder.filePath(QStringLiteral("tessel/") + name).toStdString());
    return protocol::ChannelAddress::loopbackTcp(0);
}

void viewerLedStatusRoundTrip(benchmark::State &state, bool unixSocket)
{
    fakes::FakePlatform system;
    FakeControlLibrary::install(system.moduleLoader);
    QTemporaryDir folder;
    WDServer server(channelFor(unixSocket, folder, protocol::ViewerSocketName));
    server.startServer();
    while (!server.isListening())
        QThread::msleep(1);
    TestViewer viewer(unixSocket ? server.channelAddress() : protocol::ChannelAddress::loopbackTcp(server.listeningPort()));
    while (!server.isViewerConnected())
        QThread::msleep(1);

    LatencySamples samples;
    for (auto _ : state) {
        const auto start = LatencySamples::Clock::now();
        viewer.sendRequest(LED_STATUS);
        const auto answer = viewer.receive();
        samples.add(LatencySamples::Clock::now() - start);
        if (!answer) {
            state.SkipWithError("no answer");
            break;
        }
    }
    samples.report(state);
    server.stopServer();
    server.waitForServerThread();
}
BENCHMARK_CAPTURE(viewerLedStatusRoundTrip, viewer_sock, true)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(viewerLedStatusRoundTrip, tcp_1933, false)->Iterations(20000)->Unit(benchmark::kMicrosecond);

void driverAddOemButtonRoundTrip(benchmark::State &state, bool unixSocket)
{
    QTemporaryDir folder;
    const protocol::ChannelAddress address = channelFor(unixSocket, folder, protocol::DriverSocketName);
    TestDriver driver(address);
    APIEventHandler events;
    APIClient client(&events, unixSocket ? address : protocol::ChannelAddress::loopbackTcp(driver.port()));
    if (!client.connectToServer()) {
        state.SkipWithError("no driver");
        return;
    }
    client.startClient();

    LatencySamples samples;
    for (auto _ : state) {
        const auto start = LatencySamples::Clock::now();
        const bool accepted = client.addOEMButton(93);
        samples.add(LatencySamples::Clock::now() - start);
        if (!accepted) {
            state.SkipWithError("refused");
            break;
        }
    }
    samples.report(state);
    client.disconnectFromServer();
    client.wait();
}
BENCHMARK_CAPTURE(driverAddOemButtonRoundTrip, driver_sock, true)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(driverAddOemButtonRoundTrip, tcp_800, false)->Iterations(20000)->Unit(benchmark::kMicrosecond);

// One connection of the kind, both ends in this process.
struct ConnectedPair
{
    ConnectedPair(bool unixSocket, const QTemporaryDir &folder)
        : address(channelFor(unixSocket, folder, "check.sock"))
    {
        std::string error;
        listener = channel::listen(address, 5, error);
        if (!unixSocket)
            address.port = platform::net::localPort(listener).value_or(0);
        client = channel::openSocket(address);
        channel::connect(client, address);
        accepted = platform::net::acceptConnection(listener);
    }
    ~ConnectedPair()
    {
        platform::net::closeSocket(client);
        platform::net::closeSocket(accepted);
        channel::closeListener(listener, address);
    }
    protocol::ChannelAddress address;
    channel::SocketHandle listener = channel::InvalidSocket;
    channel::SocketHandle client = channel::InvalidSocket;
    channel::SocketHandle accepted = channel::InvalidSocket;
};

// One end's check of the other: the server's of an accepted connection, or
// the client's of the listener it reached (SO_PEERCRED on a Unix socket; the
// kernel's socket table through sock_diag on TCP).
enum class CheckedEnd { AcceptedPeer, Listener };

void peerCheck(benchmark::State &state, CheckedEnd end, bool unixSocket)
{
    QTemporaryDir folder;
    const ConnectedPair pair(unixSocket, folder);
    LatencySamples samples;
    for (auto _ : state) {
        std::string why;
        const auto start = LatencySamples::Clock::now();
        const bool ours = end == CheckedEnd::AcceptedPeer ? channel::peerIsOurs(pair.accepted, pair.address, why)
                                                          : channel::listenerIsOurs(pair.client, pair.address, why);
        samples.add(LatencySamples::Clock::now() - start);
        if (!ours) {
            state.SkipWithError(why.c_str());
            break;
        }
    }
    samples.report(state);
}
BENCHMARK_CAPTURE(peerCheck, so_peercred, CheckedEnd::AcceptedPeer, true)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(peerCheck, sock_diag, CheckedEnd::AcceptedPeer, false)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(peerCheck, listener_so_peercred, CheckedEnd::Listener, true)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(peerCheck, listener_sock_diag, CheckedEnd::Listener, false)->Iterations(20000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

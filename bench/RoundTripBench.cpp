// Round trips over real loopback sockets:
//  - a viewer's LED_STATUS request to its answer (target: median under 200 us);
//  - the driver client's ADD_OEM_BUTTON to its answer (target: median under 200 us).
#include "LatencySamples.h"

#include "driverapi/APIClient.h"
#include "driverapi/APIEventHandler.h"
#include "server/WDServer.h"
#include "protocol/WatchdogCommand.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "TestDriver.h"
#include "TestViewer.h"

#include <QCoreApplication>
#include <QThread>

namespace {

void viewerLedStatusRoundTrip(benchmark::State &state)
{
    fakes::FakePlatform system;
    FakeControlLibrary::install(system.moduleLoader);
    WDServer server(0);
    server.startServer();
    while (server.listeningPort() == 0)
        QThread::msleep(1);
    TestViewer viewer(server.listeningPort());
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
BENCHMARK(viewerLedStatusRoundTrip)->Iterations(20000)->Unit(benchmark::kMicrosecond);

void driverAddOemButtonRoundTrip(benchmark::State &state)
{
    TestDriver driver;
    APIEventHandler events;
    APIClient client(&events, driver.port());
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
BENCHMARK(driverAddOemButtonRoundTrip)->Iterations(20000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

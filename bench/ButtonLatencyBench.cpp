// From a camera button report to the viewer's record, inside the watchdog:
// the report is handed to the HID reader (a fake device, so the device's own
// time is not counted), decoded, queued to the main thread, and sent; the
// clock stops when the viewer has the whole record. Target: median under
// 1 ms, 99th percentile under 5 ms.
#include "Percentiles.h"

#include "server/WDServer.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "TestViewer.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int samples = argc > 1 ? std::atoi(argv[1]) : 100;

    fakes::FakePlatform system;
    FakeControlLibrary::install(system.moduleLoader);
    auto camera = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    system.hidInterfaces.addInterface("/dev/hidraw0 hid#vid_7a3e&pid_4b20", camera);
    WDServer server(0);
    server.startUsbCommunication();
    server.startServer();
    while (server.listeningPort() == 0)
        QThread::msleep(1);

    Percentiles latency;
    std::atomic<bool> done{false};
    // The viewer and the camera work on their own thread; the main thread
    // runs the event loop, as in the program.
    std::thread driver([&] {
        TestViewer viewer(server.listeningPort());
        QThread::msleep(600); // the reader drops reports in its first 500 ms
        std::vector<std::uint8_t> press(65, 0);
        press[10] = 0x02; // code 162: sent to the viewer at once
        for (int i = 0; i < samples; ++i) {
            const auto start = std::chrono::steady_clock::now();
            camera->pushInputReport(press);
            if (!viewer.receive(3000)) {
                std::fprintf(stderr, "a button record did not arrive\n");
                break;
            }
            latency.add(std::chrono::steady_clock::now() - start);
            QThread::msleep(650); // past the repeat filter (poll start to poll start)
        }
        done = true;
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done)
            QCoreApplication::quit();
    });
    poll.start(50);
    QCoreApplication::exec();
    driver.join();
    latency.print("button report -> viewer record (in process)");
    server.stopServer();
    server.waitForServerThread();
    return latency.size() == static_cast<std::size_t>(samples) ? 0 : 1;
}

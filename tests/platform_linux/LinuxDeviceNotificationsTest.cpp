// Hot-plug through udev and resume through logind, delivered on the main
// thread; set-up and teardown leave nothing behind.
#include "CameraTestbed.h"
#include "TestSupport.h"
#include "platform/linux/LinuxDeviceNotifications.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>

using camera_standin::CameraTestbed;
using Device = CameraTestbed::Device;
using platform::linux_backend::LinuxDeviceNotifications;
using test_support::processEventsFor;
using test_support::processEventsUntil;
using namespace std::chrono_literals;

namespace {

class RecordingListener final : public platform::DeviceNotificationListener
{
public:
    void deviceArrived(bool deviceInterface) override
    {
        record(deviceInterface ? "arrived" : "arrived-other");
    }
    void deviceRemoved() override { record("removed"); }
    void powerEvent(int event) override { record("power " + std::to_string(event)); }

    std::vector<std::string> calls;
    bool offMainThread = false;

private:
    void record(const std::string &call)
    {
        offMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        calls.push_back(call);
    }
};

// A private bus in the role of the system bus, with python-dbusmock playing
// logind on it.
class MockLogind
{
public:
    MockLogind()
    {
        daemon.setProcessEnvironment(busEnvironment());
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
            return;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        // The python3 on PATH may not be the one that has dbusmock.
        logind.setProcessEnvironment(busEnvironment());
        logind.start("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", "logind"});
        logind.waitForStarted(5000);
        ready = processEventsUntil([this] { return call({"org.freedesktop.DBus.Peer.Ping"}); }, 15s);
    }

    ~MockLogind()
    {
        for (QProcess *process : {&logind, &daemon}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
            process->waitForFinished(3000);
        }
    }

    bool emitPrepareForSleep(bool start)
    {
        return call({"org.freedesktop.DBus.Mock.EmitSignal", "org.freedesktop.login1.Manager", "PrepareForSleep",
                     "b", start ? "[<true>]" : "[<false>]"});
    }

    QString address;
    bool ready = false;

private:
    // The bus and its clients run outside the testbed: no preload, no
    // UMOCKDEV_DIR.
    QProcessEnvironment busEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LD_PRELOAD");
        environment.remove("UMOCKDEV_DIR");
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
        return environment;
    }

    bool call(QStringList method)
    {
        QProcess gdbus;
        gdbus.setProcessEnvironment(busEnvironment());
        gdbus.start("gdbus", QStringList{"call", "--system", "-d", "org.freedesktop.login1", "-o",
                                         "/org/freedesktop/login1", "-m"}
                                 + method);
        return gdbus.waitForFinished(5000) && gdbus.exitStatus() == QProcess::NormalExit && gdbus.exitCode() == 0;
    }

    QProcess daemon;
    QProcess logind;
};

class LinuxDeviceNotificationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // No system bus unless a test brings one.
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
    }

    bool hasCalls(std::size_t count) const { return listener.calls.size() >= count; }

    test_support::EventRecorder events;
    CameraTestbed bed{events};
    RecordingListener listener;
};

TEST_F(LinuxDeviceNotificationsTest, HidArrivalAndRemovalReachTheListenerOnTheMainThread)
{
    LinuxDeviceNotifications notifications;
    ASSERT_TRUE(notifications.create(listener));
    int lastError = 0;
    ASSERT_TRUE(notifications.registerForDeviceNotifications(lastError));

    ASSERT_TRUE(bed.plug(Device::Camera));
    ASSERT_TRUE(processEventsUntil([this] { return hasCalls(1); }));
    bed.unplug(Device::Camera);
    ASSERT_TRUE(processEventsUntil([this] { return hasCalls(2); }));
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"arrived", "removed"}));
    EXPECT_FALSE(listener.offMainThread);
}

TEST_F(LinuxDeviceNotificationsTest, DevicesWithoutHidrawNodeAreNotReported)
{
    LinuxDeviceNotifications notifications;
    ASSERT_TRUE(notifications.create(listener));
    int lastError = 0;
    ASSERT_TRUE(notifications.registerForDeviceNotifications(lastError));

    ASSERT_TRUE(bed.plug(Device::OtherUsb));
    bed.unplug(Device::OtherUsb);
    // Events arrive in order: once the keyboard's arrival is here, anything
    // the webcam caused would be here too.
    ASSERT_TRUE(bed.plug(Device::OtherHid));
    ASSERT_TRUE(processEventsUntil([this] { return hasCalls(1); }));
    processEventsFor(100ms);
    EXPECT_EQ(listener.calls, std::vector<std::string>{"arrived"});
}

TEST_F(LinuxDeviceNotificationsTest, ListenerMayTearDownFromInsideACallback)
{
    // The watchdog ends on removal; a listener that tears the source down
    // right there must not pull the ground from under the delivery loop.
    class TearingListener final : public platform::DeviceNotificationListener
    {
    public:
        void deviceArrived(bool) override { ++arrivals; }
        void deviceRemoved() override
        {
            ++removals;
            tornDown = notifications.teardown();
        }
        void powerEvent(int) override {}
        LinuxDeviceNotifications notifications;
        int arrivals = 0;
        int removals = 0;
        bool tornDown = false;
    } tearing;
    ASSERT_TRUE(tearing.notifications.create(tearing));
    int lastError = 0;
    ASSERT_TRUE(tearing.notifications.registerForDeviceNotifications(lastError));
    ASSERT_TRUE(bed.plug(Device::Camera));
    ASSERT_TRUE(bed.plug(Device::OtherHid));
    bed.unplug(Device::Camera);
    bed.unplug(Device::OtherHid); // a second removal, queued behind the first
    ASSERT_TRUE(processEventsUntil([&] { return tearing.removals > 0; }));
    processEventsFor(200ms);
    EXPECT_EQ(tearing.arrivals, 2);
    EXPECT_EQ(tearing.removals, 1) << "nothing is delivered after teardown";
    EXPECT_TRUE(tearing.tornDown);
}

TEST_F(LinuxDeviceNotificationsTest, NothingArrivesBeforeRegistrationOrAfterTeardown)
{
    LinuxDeviceNotifications notifications;
    int lastError = 0;
    EXPECT_FALSE(notifications.registerForDeviceNotifications(lastError)) << "registering before create()";
    EXPECT_NE(lastError, 0);
    EXPECT_FALSE(notifications.teardown()) << "nothing was registered";

    ASSERT_TRUE(notifications.create(listener));
    ASSERT_TRUE(notifications.registerForDeviceNotifications(lastError));
    EXPECT_TRUE(notifications.teardown());
    ASSERT_TRUE(bed.plug(Device::Camera));
    processEventsFor(200ms);
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(LinuxDeviceNotificationsTest, WithoutSystemBusThereAreNoResumeEventsAndNoFailure)
{
    LinuxDeviceNotifications notifications;
    ASSERT_TRUE(notifications.create(listener));
    int lastError = 0;
    EXPECT_TRUE(notifications.registerForDeviceNotifications(lastError));
    EXPECT_TRUE(notifications.teardown());
}

TEST_F(LinuxDeviceNotificationsTest, LogindPrepareForSleepBecomesWindowsPowerEvents)
{
    MockLogind logind;
    if (logind.address.isEmpty())
        GTEST_SKIP() << "dbus-daemon cannot be started here";
    ASSERT_TRUE(logind.ready) << "python3-dbusmock's logind did not come up";
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", logind.address.toUtf8().constData(), 1);

    LinuxDeviceNotifications notifications;
    ASSERT_TRUE(notifications.create(listener));
    int lastError = 0;
    ASSERT_TRUE(notifications.registerForDeviceNotifications(lastError));

    ASSERT_TRUE(logind.emitPrepareForSleep(true));
    ASSERT_TRUE(logind.emitPrepareForSleep(false));
    ASSERT_TRUE(processEventsUntil([this] { return hasCalls(2); }));
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"power 4", "power 7"}));
    EXPECT_FALSE(listener.offMainThread);

    // After teardown the bus connection is gone: no more events.
    EXPECT_TRUE(notifications.teardown());
    ASSERT_TRUE(logind.emitPrepareForSleep(false));
    processEventsFor(200ms);
    EXPECT_EQ(listener.calls.size(), 2u);
}

TEST_F(LinuxDeviceNotificationsTest, RepeatedCreateAndTeardownLeaveOneSourceAndNoDescriptor)
{
    LinuxDeviceNotifications notifications;
    const auto cycle = [this, &notifications] {
        EXPECT_TRUE(notifications.create(listener));
        int lastError = 0;
        EXPECT_TRUE(notifications.registerForDeviceNotifications(lastError));
        EXPECT_TRUE(notifications.teardown());
    };
    cycle(); // Qt's D-Bus machinery, once started, stays for the process
    const int before = test_support::settledDescriptorCount();
    for (int i = 0; i < 10; ++i)
        cycle();
    EXPECT_TRUE(test_support::descriptorCountSettles(before))
        << test_support::openDescriptorCount() << " descriptors open, " << before << " before";

    // Created twice, still one source: one plug-in, one arrival.
    ASSERT_TRUE(notifications.create(listener));
    ASSERT_TRUE(notifications.create(listener));
    int lastError = 0;
    ASSERT_TRUE(notifications.registerForDeviceNotifications(lastError));
    ASSERT_TRUE(bed.plug(Device::Camera));
    ASSERT_TRUE(processEventsUntil([this] { return hasCalls(1); }));
    processEventsFor(100ms);
    EXPECT_EQ(listener.calls, std::vector<std::string>{"arrived"});
}

} // namespace

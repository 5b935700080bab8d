#include "SystemFixture.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace systemtest {

void SystemFixture::SetUp()
{
    char pattern[] = "/tmp/tessel-system-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
    watchdogLog = LogFile(file("watchdog.log"));
    driverLog = LogFile(file("driver.log"));
    viewerLog = LogFile(file("viewer.log"));
    callLog = LogFile(file("calls.log"));

    // Everything the programs share: the session lock's folder, no display,
    // the control library's state, and how a viewer the watchdog starts
    // behaves.
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("DISPLAY");
    // The user's own sockets in the folder; a test of the TCP path asks for it.
    ::unsetenv("TESSEL_LOOPBACK_TCP");
    ::setenv("ZENTRASW_STATE", file("zentrasw.state").c_str(), 1);
    setLibraryState("CallLog", file("calls.log").string());
    const std::string viewerOptions = "--keep-running --connect-timeout 5000 --control " + file("viewer.ctl").string()
                                      + " --output " + file("viewer.log").string();
    ::setenv("TESSEL_OPTIONS", viewerOptions.c_str(), 1);
}

void SystemFixture::TearDown()
{
    for (auto *program : {watchdog.get(), camera.get(), viewer.get(), driver.get(), logind.get(), bus.get()})
        if (program)
            program->signal(SIGTERM);
    if (HasFailure()) {
        for (const auto *log : {&watchdogLog, &driverLog, &viewerLog, &callLog}) {
            std::printf("---- %s\n", log->path().c_str());
            for (const auto &line : log->lines())
                std::printf("%s\n", line.c_str());
        }
    }
    for (auto *program : {watchdog.get(), camera.get(), viewer.get(), driver.get(), logind.get(), bus.get()})
        if (program && !program->waitForExit(3s))
            program->signal(SIGKILL);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void SystemFixture::startDriver()
{
    driver = std::make_unique<Program>();
    const auto from = driverLog.size();
    ASSERT_TRUE(driver->start(programDirectory() / "brivaradriver",
                              {"--keep-running", "--control", file("driver.ctl").string(), "--output",
                               file("driver.log").string()},
                              file("driver.stderr")));
    ASSERT_TRUE(driverLog.waitFor("brivaradriver: listening", 5s, from));
}

void SystemFixture::stopDriver()
{
    driver->signal(SIGKILL);
    ASSERT_TRUE(driver->waitForExit());
}

void SystemFixture::startWatchdog()
{
    watchdog = std::make_unique<Program>();
    const auto from = watchdogLog.size();
    ASSERT_TRUE(watchdog->start(programDirectory() / "tesselwatchdogapplication", {}, file("watchdog.log")));
    ASSERT_TRUE(watchdogLog.waitFor("<WDServer::run()> Socket bind successfully.", 5s, from));
}

void SystemFixture::startWatchdogWithCamera(const std::vector<std::string> &cameraOptions)
{
    camera = std::make_unique<Program>();
    const auto from = watchdogLog.size();
    std::vector<std::string> arguments{"--control", file("camera.ctl").string(), "--state",
                                       file("zentrasw.state").string()};
    arguments.insert(arguments.end(), cameraOptions.begin(), cameraOptions.end());
    arguments.push_back("--");
    arguments.push_back((programDirectory() / "tesselwatchdogapplication").string());
    ASSERT_TRUE(camera->start(programDirectory() / "tesselcamera", arguments, file("watchdog.log")));
    ASSERT_TRUE(watchdogLog.waitFor("<WDServer::run()> Socket bind successfully.", 10s, from));
}

bool SystemFixture::startPrivateBus(const std::string &socketName, const char *addressVariable)
{
    const std::string address = "unix:path=" + file(socketName).string();
    bus = std::make_unique<Program>();
    // The session configuration: a bus that lets in whatever connects.
    if (!bus->start("/usr/bin/dbus-daemon", {"--session", "--nofork", "--address=" + address}, file("bus.log")))
        return false;
    ::setenv(addressVariable, address.c_str(), 1);
    return eventually([&] { return std::filesystem::exists(file(socketName)); });
}

void SystemFixture::startMockLogind()
{
    ASSERT_TRUE(startPrivateBus("system_bus_socket", "DBUS_SYSTEM_BUS_ADDRESS"));
    logind = std::make_unique<Program>();
    // The python3 on PATH may not be the one that has dbusmock.
    ASSERT_TRUE(logind->start("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", "logind"},
                              file("logind.log")));
    for (int i = 0; i < 300; ++i) {
        if (std::system("gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 "
                        "-m org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1")
            == 0)
            return;
        std::this_thread::sleep_for(50ms);
    }
    FAIL() << "the mocked logind did not come up";
}

bool SystemFixture::emitPrepareForSleep(bool suspending)
{
    const std::string call = std::string("gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 "
                                         "-m org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.login1.Manager "
                                         "PrepareForSleep b '[<")
                             + (suspending ? "true" : "false") + ">]' >/dev/null 2>&1";
    return std::system(call.c_str()) == 0;
}

void SystemFixture::setLibraryState(const std::string &key, const std::string &value)
{
    // Rewritten whole, as the camera stand-in does: read, replace, rename.
    std::vector<std::string> lines;
    {
        std::ifstream in(file("zentrasw.state"));
        for (std::string line; std::getline(in, line);)
            if (line.rfind(key + "=", 0) != 0)
                lines.push_back(line);
    }
    lines.push_back(key + "=" + value);
    {
        std::ofstream out(file("zentrasw.state.new"));
        for (const auto &line : lines)
            out << line << "\n";
    }
    std::filesystem::rename(file("zentrasw.state.new"), file("zentrasw.state"));
}

pid_t SystemFixture::watchdogPid()
{
    const auto pids = processesNamed("tesselwatchdogapplication");
    EXPECT_EQ(pids.size(), 1u);

    return pids.empty() ? -1 : pids.front();
}

void SystemFixture::startViewer()
{
    viewer = std::make_unique<Program>();
    const auto from = viewerLog.size();
    ASSERT_TRUE(viewer->start(programDirectory() / "tessel", {}, file("viewer.stderr")));
    ASSERT_TRUE(viewerLog.waitFor("tessel: connected", 5s, from));
}

} // namespace systemtest

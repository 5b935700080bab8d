#include "SystemFixture.h"

#include <csignal>
#include <cstdlib>

namespace systemtest {

void SystemFixture::SetUp()
{
    char pattern[] = "/tmp/tessel-system-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
    watchdogLog = LogFile(file("watchdog.log"));
    driverLog = LogFile(file("driver.log"));
    viewerLog = LogFile(file("viewer.log"));

    // Everything the programs share: the session lock's folder, no display,
    // the control library's state, and how a viewer the watchdog starts
    // behaves.
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("DISPLAY");
    ::setenv("ZENTRASW_STATE", file("zentrasw.state").c_str(), 1);
    const std::string viewerOptions = "--keep-running --connect-timeout 5000 --control " + file("viewer.ctl").string()
                                      + " --output " + file("viewer.log").string();
    ::setenv("TESSEL_OPTIONS", viewerOptions.c_str(), 1);
}

void SystemFixture::TearDown()
{
    for (auto *program : {watchdog.get(), viewer.get(), driver.get()})
        if (program)
            program->signal(SIGTERM);
    if (HasFailure()) {
        for (const auto *log : {&watchdogLog, &driverLog, &viewerLog}) {
            std::printf("---- %s\n", log->path().c_str());
            for (const auto &line : log->lines())
                std::printf("%s\n", line.c_str());
        }
    }
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

void SystemFixture::startViewer()
{
    viewer = std::make_unique<Program>();
    const auto from = viewerLog.size();
    ASSERT_TRUE(viewer->start(programDirectory() / "tessel", {}, file("viewer.stderr")));
    ASSERT_TRUE(viewerLog.waitFor("tessel: connected", 5s, from));
}

} // namespace systemtest

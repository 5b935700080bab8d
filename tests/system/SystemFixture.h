#pragma once

#include "SystemHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace systemtest {

// A scenario's world: a private folder, the environment the programs share,
// and the programs themselves. The namespace around the test process gives
// them the fixed ports.
class SystemFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path file(const std::string &name) const { return folder / name; }

    // The driver stand-in on port 800, driven through driver.ctl.
    void startDriver();
    void stopDriver();
    // The watchdog, logging to watchdog.log; waits until it listens.
    void startWatchdog();
    // A viewer started by the test (the watchdog starts its own the same
    // way: same options, from TESSEL_OPTIONS).
    void startViewer();

    bool driverDoes(const std::string &command) { return sendCommand(file("driver.ctl"), command); }
    bool viewerDoes(const std::string &command) { return sendCommand(file("viewer.ctl"), command); }

    std::filesystem::path folder;
    LogFile watchdogLog{""};
    LogFile driverLog{""};
    LogFile viewerLog{""};
    std::unique_ptr<Program> driver;
    std::unique_ptr<Program> watchdog;
    std::unique_ptr<Program> viewer;
};

} // namespace systemtest

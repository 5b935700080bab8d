#pragma once

#include "SystemHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

    // The driver stand-in on the driver's channel (the folder's driver.sock,
    // or port 800 with TESSEL_LOOPBACK_TCP=1), driven through driver.ctl.
    void startDriver();
    void stopDriver();
    // The watchdog, logging to watchdog.log; waits until it listens.
    void startWatchdog();
    // The watchdog under the camera stand-in (the camera plugged in unless
    // told otherwise), driven through camera.ctl; the stand-in's lines and
    // the watchdog's share watchdog.log.
    void startWatchdogWithCamera(const std::vector<std::string> &cameraOptions = {});
    // A bus of the test's own (dbus-daemon as `bus`) on a socket in the
    // folder, named to the programs started afterwards by the environment
    // variable (DBUS_SESSION_BUS_ADDRESS or DBUS_SYSTEM_BUS_ADDRESS); false
    // if it does not come up.
    bool startPrivateBus(const std::string &socketName, const char *addressVariable);
    // A private bus as the system bus, with a mocked logind on it; the
    // programs started afterwards use it.
    void startMockLogind();
    bool emitPrepareForSleep(bool suspending);
    bool cameraDoes(const std::string &command) { return sendCommand(file("camera.ctl"), command); }
    // Sets a key of the control library stand-in's state file.
    void setLibraryState(const std::string &key, const std::string &value);
    // The live watchdog process (there must be exactly one).
    pid_t watchdogPid();
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
    std::unique_ptr<Program> camera;
    std::unique_ptr<Program> bus;
    std::unique_ptr<Program> logind;
    LogFile callLog{""};
};

} // namespace systemtest

#pragma once

// A platform made of fakes, for unit tests. Install it with
// FakePlatform::Installed; every fake records what the core asked of it and
// can be told what to answer.

#include "platform/Platform.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fakes {

class FakeProcesses final : public platform::Processes
{
public:
    bool isProcessRunning(const std::string &exeName, bool &running) override;
    bool startDetached(const std::string &program) override;
    int shellExecute(const std::string &verb, const std::string &file) override;
    bool openWebPage(const std::string &url) override;

    void setRunning(const std::string &exeName, bool running);
    void setListReadable(bool readable);
    // Results that the next shellExecute calls return, oldest first; once
    // used up, calls succeed.
    void queueShellResults(std::vector<int> results);

    std::vector<std::string> detachedStarts() const;
    // Called by startDetached, before it records the start.
    std::function<void(const std::string &program)> onStartDetached;
    std::vector<std::string> shellCalls() const; // "verb file"
    std::vector<std::string> webPages() const;

private:
    mutable std::mutex mutex;
    std::set<std::string> runningNames; // lower case
    bool listReadable = true;
    std::deque<int> shellResults;
    std::vector<std::string> started;
    std::vector<std::string> shells;
    std::vector<std::string> pages;
};

class FakeHidDevice final : public platform::HidDevice
{
public:
    FakeHidDevice(std::uint16_t vendor, std::uint16_t product, std::size_t reportLength);

    bool attributes(std::uint16_t &vendorId, std::uint16_t &productId) override;
    CapsStatus inputReportLength(std::size_t &length) override;
    bool write(const std::uint8_t *data, std::size_t size) override;
    ReadStatus read(std::uint8_t *buffer, std::size_t size, int timeoutMs,
                    std::size_t &received) override;
    void cancelIo() override;
    void close() override;

    // Queues an input report (Windows layout, report ID first).
    void pushInputReport(std::vector<std::uint8_t> report);
    // Queues an answer to every button report written from now on.
    void setAnswersButtonReports(bool answers);
    void setAttributesReadable(bool readable);
    void setCapsReadable(bool readable);
    void setWritesFail(bool fail);

    std::vector<std::vector<std::uint8_t>> writes() const;
    // The values of the button reports written, in order.
    std::vector<int> buttonValues() const;
    bool isClosed() const;
    int blockedReaders() const;

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::uint16_t vendor;
    std::uint16_t product;
    std::size_t reportLength;
    bool attributesReadable = true;
    bool capsReadable = true;
    bool writesFail = false;
    bool answersButtonReports = true;
    bool closed = false;
    int cancelCount = 0;
    int readers = 0;
    std::deque<std::vector<std::uint8_t>> inputReports;
    std::vector<std::vector<std::uint8_t>> written;
};

class FakeHid final : public platform::Hid
{
public:
    std::optional<std::vector<std::string>> listInterfaces() override;
    std::shared_ptr<platform::HidDevice> open(const std::string &path, int &error) override;

    // Adds a present interface; a null device makes its open fail.
    void addInterface(const std::string &path, std::shared_ptr<FakeHidDevice> device);
    void removeInterface(const std::string &path);
    void setListAvailable(bool available);
    int openCount() const;

private:
    mutable std::mutex mutex;
    bool listAvailable = true;
    std::vector<std::pair<std::string, std::shared_ptr<FakeHidDevice>>> interfaces;
    int opens = 0;
};

class FakeVideoDevices final : public platform::VideoDevices
{
public:
    std::optional<std::vector<std::optional<std::string>>> listDevicePaths() override;
    void setDevices(std::optional<std::vector<std::optional<std::string>>> devices);

private:
    std::mutex mutex;
    std::optional<std::vector<std::optional<std::string>>> devices;
};

class FakeModules final : public platform::Modules
{
public:
    platform::ModuleHandle load(const std::string &name) override;
    void *lookup(platform::ModuleHandle module, const char *function) override;
    bool release(platform::ModuleHandle module) override;

    // Makes a module loadable, with the functions it exports.
    void provide(const std::string &name, std::map<std::string, void *> functions);
    void withdraw(const std::string &name);
    void setReleaseFails(const std::string &name, bool fails);
    std::vector<std::string> loaded() const;
    int releaseCount(const std::string &name) const;

private:
    struct Module
    {
        std::map<std::string, void *> functions;
        bool releaseFails = false;
        int loads = 0;
        int releases = 0;
    };
    mutable std::mutex mutex;
    std::map<std::string, Module> modules;
};

class FakeSound final : public platform::Sound
{
public:
    void play(const std::string &path) override;
    std::vector<std::string> played() const;
    void clear();

private:
    mutable std::mutex mutex;
    std::vector<std::string> plays;
};

class FakeDeviceNotifications final : public platform::DeviceNotifications
{
public:
    struct Log
    {
        int creates = 0;
        int registrations = 0;
        int teardowns = 0;
    };

    FakeDeviceNotifications(Log &log, bool createSucceeds, bool registerSucceeds,
                            platform::DeviceNotificationListener *&listenerSlot);
    bool create(platform::DeviceNotificationListener &listener) override;
    bool registerForDeviceNotifications(int &lastError) override;
    bool teardown() override;

private:
    Log &log;
    bool createSucceeds;
    bool registerSucceeds;
    bool registered = false;
    platform::DeviceNotificationListener *&listenerSlot;
};

class FakePlatform final : public platform::Platform
{
public:
    // Installs the platform for the lifetime of the object.
    FakePlatform();
    ~FakePlatform() override;

    platform::Processes &processes() override { return processList; }
    platform::Hid &hid() override { return hidInterfaces; }
    platform::VideoDevices &videoDevices() override { return video; }
    platform::Modules &modules() override { return moduleLoader; }
    platform::Sound &sound() override { return soundPlayer; }
    std::unique_ptr<platform::InstanceLock> createInstanceLock(const std::string &name) override;
    std::unique_ptr<platform::DeviceNotifications> createDeviceNotifications() override;
    void watchForSessionEnd(std::function<void()> onRequest) override { sessionEndCallback = std::move(onRequest); }
    bool sessionEndRequested() override { return sessionEnd; }
    bool serviceManagerRestarts() override { return supervised; }
    // The session may be set to end during the wait, as a log-off does.
    bool waitUnlessSessionEnds(int milliseconds) override
    {
        if (sessionEndsDuringWait)
            sessionEnd = true;
        return platform::Platform::waitUnlessSessionEnds(milliseconds);
    }

    std::function<void()> sessionEndCallback;
    std::atomic<bool> sessionEnd{false};
    bool sessionEndsDuringWait = false;
    std::atomic<bool> supervised{false};

    FakeProcesses processList;
    FakeHid hidInterfaces;
    FakeVideoDevices video;
    FakeModules moduleLoader;
    FakeSound soundPlayer;

    // Instance locks: names held by some copy, and whether creating fails.
    std::set<std::string> heldLocks;
    bool lockCreationFails = false;
    int lockReleases = 0;

    // Device notifications: the listener of the last source created, so a
    // test can deliver events to it.
    FakeDeviceNotifications::Log notificationLog;
    bool notificationCreateSucceeds = true;
    bool notificationRegisterSucceeds = true;
    platform::DeviceNotificationListener *notificationListener = nullptr;

    std::mutex lockMutex;
};

} // namespace fakes

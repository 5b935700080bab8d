#include "FakePlatform.h"

#include "protocol/ButtonReport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace fakes {

namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

// ---- processes --------------------------------------------------------------

bool FakeProcesses::isProcessRunning(const std::string &exeName, bool &running)
{
    std::lock_guard lock(mutex);
    running = false;
    if (!listReadable)
        return false;
    running = runningNames.count(lowerCase(exeName)) > 0;
    return true;
}

bool FakeProcesses::startDetached(const std::string &program)
{
    if (onStartDetached)
        onStartDetached(program);
    std::lock_guard lock(mutex);
    started.push_back(program);
    return true;
}

int FakeProcesses::shellExecute(const std::string &verb, const std::string &file)
{
    std::lock_guard lock(mutex);
    shells.push_back(verb + " " + file);
    if (shellResults.empty())
        return platform::SHELL_EXECUTE_SUCCESS;
    const int result = shellResults.front();
    shellResults.pop_front();
    return result;
}

void FakeProcesses::setRunning(const std::string &exeName, bool running)
{
    std::lock_guard lock(mutex);
    if (running)
        runningNames.insert(lowerCase(exeName));
    else
        runningNames.erase(lowerCase(exeName));
}

void FakeProcesses::setListReadable(bool readable)
{
    std::lock_guard lock(mutex);
    listReadable = readable;
}

void FakeProcesses::queueShellResults(std::vector<int> results)
{
    std::lock_guard lock(mutex);
    shellResults.assign(results.begin(), results.end());
}

std::vector<std::string> FakeProcesses::detachedStarts() const
{
    std::lock_guard lock(mutex);
    return started;
}

std::vector<std::string> FakeProcesses::shellCalls() const
{
    std::lock_guard lock(mutex);
    return shells;
}

bool FakeProcesses::openWebPage(const std::string &url)
{
    std::lock_guard lock(mutex);
    pages.push_back(url);
    return true;
}

std::vector<std::string> FakeProcesses::webPages() const
{
    std::lock_guard lock(mutex);
    return pages;
}

// ---- HID ----------------------------------------------------------------------

FakeHidDevice::FakeHidDevice(std::uint16_t vendorId, std::uint16_t productId, std::size_t length)
    : vendor(vendorId), product(productId), reportLength(length)
{
}

bool FakeHidDevice::attributes(std::uint16_t &vendorId, std::uint16_t &productId)
{
    std::lock_guard lock(mutex);
    if (!attributesReadable || closed)
        return false;
    vendorId = vendor;
    productId = product;
    return true;
}

platform::HidDevice::CapsStatus FakeHidDevice::inputReportLength(std::size_t &length)
{
    std::lock_guard lock(mutex);
    if (closed)
        return CapsStatus::NoDescriptor;
    if (!capsReadable)
        return CapsStatus::NoCapabilities;
    length = reportLength;
    return CapsStatus::Read;
}

bool FakeHidDevice::write(const std::uint8_t *data, std::size_t size)
{
    std::lock_guard lock(mutex);
    if (closed || writesFail)
        return false;
    written.emplace_back(data, data + size);
    std::uint8_t value = 0;
    if (answersButtonReports && ButtonReport::decode(data, size, value)) {
        inputReports.emplace_back(std::max<std::size_t>(reportLength, 1), 0);
        changed.notify_all();
    }
    return true;
}

platform::HidDevice::ReadStatus FakeHidDevice::read(std::uint8_t *buffer, std::size_t size,
                                                    int timeoutMs, std::size_t &received)
{
    std::unique_lock lock(mutex);
    ++readers;
    const int cancelsAtStart = cancelCount;
    const auto ready = [&] { return closed || cancelCount != cancelsAtStart || !inputReports.empty(); };
    if (timeoutMs < 0)
        changed.wait(lock, ready);
    else
        changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    --readers;
    changed.notify_all();
    if (closed)
        return ReadStatus::Gone;
    if (cancelCount != cancelsAtStart)
        return ReadStatus::Cancelled;
    if (inputReports.empty())
        return ReadStatus::TimedOut;
    const std::vector<std::uint8_t> report = std::move(inputReports.front());
    inputReports.pop_front();
    received = std::min(size, report.size());
    std::memcpy(buffer, report.data(), received);
    return ReadStatus::Data;
}

void FakeHidDevice::cancelIo()
{
    std::lock_guard lock(mutex);
    ++cancelCount;
    changed.notify_all();
}

void FakeHidDevice::close()
{
    std::lock_guard lock(mutex);
    closed = true;
    changed.notify_all();
}

void FakeHidDevice::pushInputReport(std::vector<std::uint8_t> report)
{
    std::lock_guard lock(mutex);
    inputReports.push_back(std::move(report));
    changed.notify_all();
}

void FakeHidDevice::setAnswersButtonReports(bool answers)
{
    std::lock_guard lock(mutex);
    answersButtonReports = answers;
}

void FakeHidDevice::setAttributesReadable(bool readable)
{
    std::lock_guard lock(mutex);
    attributesReadable = readable;
}

void FakeHidDevice::setCapsReadable(bool readable)
{
    std::lock_guard lock(mutex);
    capsReadable = readable;
}

void FakeHidDevice::setWritesFail(bool fail)
{
    std::lock_guard lock(mutex);
    writesFail = fail;
}

std::vector<std::vector<std::uint8_t>> FakeHidDevice::writes() const
{
    std::lock_guard lock(mutex);
    return written;
}

std::vector<int> FakeHidDevice::buttonValues() const
{
    std::lock_guard lock(mutex);
    std::vector<int> values;
    for (const auto &report : written) {
        std::uint8_t value = 0;
        if (ButtonReport::decode(report.data(), report.size(), value))
            values.push_back(value);
    }
    return values;
}

bool FakeHidDevice::isClosed() const
{
    std::lock_guard lock(mutex);
    return closed;
}

int FakeHidDevice::blockedReaders() const
{
    std::lock_guard lock(mutex);
    return readers;
}

std::optional<std::vector<std::string>> FakeHid::listInterfaces()
{
    std::lock_guard lock(mutex);
    if (!listAvailable)
        return std::nullopt;
    std::vector<std::string> paths;
    for (const auto &entry : interfaces)
        paths.push_back(entry.first);
    return paths;
}

std::shared_ptr<platform::HidDevice> FakeHid::open(const std::string &path, int &error)
{
    std::lock_guard lock(mutex);
    for (const auto &entry : interfaces) {
        if (entry.first == path && entry.second) {
            ++opens;
            return entry.second;
        }
    }
    error = EACCES;
    return nullptr;
}

void FakeHid::addInterface(const std::string &path, std::shared_ptr<FakeHidDevice> device)
{
    std::lock_guard lock(mutex);
    interfaces.emplace_back(path, std::move(device));
}

void FakeHid::removeInterface(const std::string &path)
{
    std::lock_guard lock(mutex);
    std::erase_if(interfaces, [&](const auto &entry) { return entry.first == path; });
}

void FakeHid::setListAvailable(bool available)
{
    std::lock_guard lock(mutex);
    listAvailable = available;
}

int FakeHid::openCount() const
{
    std::lock_guard lock(mutex);
    return opens;
}

// ---- video devices ---------------------------------------------------------

std::optional<std::vector<std::optional<std::string>>> FakeVideoDevices::listDevicePaths()
{
    std::lock_guard lock(mutex);
    return devices;
}

void FakeVideoDevices::setDevices(std::optional<std::vector<std::optional<std::string>>> newDevices)
{
    std::lock_guard lock(mutex);
    devices = std::move(newDevices);
}

// ---- modules -----------------------------------------------------------------

platform::ModuleHandle FakeModules::load(const std::string &name)
{
    std::lock_guard lock(mutex);
    auto found = modules.find(name);
    if (found == modules.end())
        return nullptr;
    ++found->second.loads;
    return &found->second;
}

void *FakeModules::lookup(platform::ModuleHandle module, const char *function)
{
    std::lock_guard lock(mutex);
    if (!module)
        return nullptr;
    const auto &functions = static_cast<Module *>(module)->functions;
    const auto found = functions.find(function);
    return found == functions.end() ? nullptr : found->second;
}

bool FakeModules::release(platform::ModuleHandle module)
{
    std::lock_guard lock(mutex);
    if (!module)
        return false;
    auto *entry = static_cast<Module *>(module);
    if (entry->releaseFails)
        return false;
    ++entry->releases;
    return true;
}

void FakeModules::provide(const std::string &name, std::map<std::string, void *> functions)
{
    std::lock_guard lock(mutex);
    modules[name].functions = std::move(functions);
}

void FakeModules::withdraw(const std::string &name)
{
    std::lock_guard lock(mutex);
    modules.erase(name);
}

void FakeModules::setReleaseFails(const std::string &name, bool fails)
{
    std::lock_guard lock(mutex);
    modules[name].releaseFails = fails;
}

std::vector<std::string> FakeModules::loaded() const
{
    std::lock_guard lock(mutex);
    std::vector<std::string> names;
    for (const auto &[name, module] : modules)
        if (module.loads > module.releases)
            names.push_back(name);
    return names;
}

int FakeModules::releaseCount(const std::string &name) const
{
    std::lock_guard lock(mutex);
    const auto found = modules.find(name);
    return found == modules.end() ? 0 : found->second.releases;
}

// ---- sound -------------------------------------------------------------------

void FakeSound::play(const std::string &path)
{
    std::lock_guard lock(mutex);
    plays.push_back(path);
}

std::vector<std::string> FakeSound::played() const
{
    std::lock_guard lock(mutex);
    return plays;
}

void FakeSound::clear()
{
    std::lock_guard lock(mutex);
    plays.clear();
}

// ---- device notifications -------------------------------------------------

FakeDeviceNotifications::FakeDeviceNotifications(Log &sharedLog, bool createOk, bool registerOk,
                                                 platform::DeviceNotificationListener *&slot)
    : log(sharedLog), createSucceeds(createOk), registerSucceeds(registerOk), listenerSlot(slot)
{
}

bool FakeDeviceNotifications::create(platform::DeviceNotificationListener &listener)
{
    ++log.creates;
    if (!createSucceeds)
        return false;
    listenerSlot = &listener;
    return true;
}

bool FakeDeviceNotifications::registerForDeviceNotifications(int &lastError)
{
    ++log.registrations;
    if (!registerSucceeds) {
        lastError = 1066;
        return false;
    }
    registered = true;
    return true;
}

bool FakeDeviceNotifications::teardown()
{
    ++log.teardowns;
    listenerSlot = nullptr;
    const bool wasRegistered = registered;
    registered = false;
    return wasRegistered;
}

// ---- the platform --------------------------------------------------------

namespace {

class FakeInstanceLock final : public platform::InstanceLock
{
public:
    FakeInstanceLock(FakePlatform &owner, std::string lockName)
        : platform(owner), name(std::move(lockName))
    {
    }
    ~FakeInstanceLock() override { release(); }

    Outcome acquire() override
    {
        std::lock_guard lock(platform.lockMutex);
        if (platform.lockCreationFails)
            return Outcome::Failed;
        if (platform.heldLocks.count(name))
            return Outcome::AlreadyHeld;
        platform.heldLocks.insert(name);
        held = true;
        return Outcome::Acquired;
    }

    void release() override
    {
        std::lock_guard lock(platform.lockMutex);
        if (!held)
            return;
        held = false;
        platform.heldLocks.erase(name);
        ++platform.lockReleases;
    }

private:
    FakePlatform &platform;
    std::string name;
    bool held = false;
};

} // namespace

FakePlatform::FakePlatform()
{
    platform::install(this);
}

FakePlatform::~FakePlatform()
{
    platform::install(nullptr);
}

std::unique_ptr<platform::InstanceLock> FakePlatform::createInstanceLock(const std::string &name)
{
    return std::make_unique<FakeInstanceLock>(*this, name);
}

std::unique_ptr<platform::DeviceNotifications> FakePlatform::createDeviceNotifications()
{
    return std::make_unique<FakeDeviceNotifications>(notificationLog, notificationCreateSucceeds,
                                                     notificationRegisterSucceeds,
                                                     notificationListener);
}

} // namespace fakes

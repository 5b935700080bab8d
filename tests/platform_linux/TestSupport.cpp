#include "TestSupport.h"

#include <QCoreApplication>

#include <dirent.h>

#include <thread>

namespace test_support {

void EventRecorder::event(const std::string &line)
{
    std::lock_guard lock(mutex);
    recorded.push_back(line);
    arrived.notify_all();
}

std::vector<std::string> EventRecorder::lines() const
{
    std::lock_guard lock(mutex);
    return recorded;
}

bool EventRecorder::waitFor(const std::string &prefix, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, timeout, [&] {
        for (const std::string &line : recorded) {
            if (line.rfind(prefix, 0) == 0)
                return true;
        }
        return false;
    });
}

int EventRecorder::count(const std::string &prefix) const
{
    std::lock_guard lock(mutex);
    int matches = 0;
    for (const std::string &line : recorded)
        matches += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return matches;
}

bool processEventsUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void processEventsFor(std::chrono::milliseconds time)
{
    processEventsUntil([] { return false; }, time);
}

int openDescriptorCount()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(dir))
        count += entry->d_name[0] != '.' ? 1 : 0;
    ::closedir(dir);
    return count - 1; // the directory's own descriptor
}

int settledDescriptorCount()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int count = openDescriptorCount();
    int unchanged = 0;
    while (unchanged < 10 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int now = openDescriptorCount();
        unchanged = now == count ? unchanged + 1 : 0;
        count = now;
    }
    return count;
}

bool descriptorCountSettles(int expected, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (openDescriptorCount() != expected) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace test_support

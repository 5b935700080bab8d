#pragma once

#include "EventSink.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace test_support {

// Keeps the stand-in's event lines so that tests can wait for them.
class EventRecorder final : public camera_standin::EventSink
{
public:
    void event(const std::string &line) override;
    std::vector<std::string> lines() const;
    // Whether a line starting with prefix arrives within timeout.
    bool waitFor(const std::string &prefix, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    int count(const std::string &prefix) const;

private:
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> recorded;
};

// Runs the Qt event loop until condition holds or timeout passes.
bool processEventsUntil(const std::function<bool()> &condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs the Qt event loop for a while.
void processEventsFor(std::chrono::milliseconds time);

// The number of open file descriptors of this process.
int openDescriptorCount();
// The count once it has stayed the same for a moment: umockdev's worker
// thread closes its end of a closed device connection a little later.
int settledDescriptorCount();
// Whether the count comes back to expected within a while.
bool descriptorCountSettles(int expected, std::chrono::milliseconds timeout = std::chrono::seconds(3));

} // namespace test_support

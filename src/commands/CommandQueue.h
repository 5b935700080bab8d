#pragma once

#include <QList>

#include <condition_variable>
#include <mutex>

class CameraCommand;

// First-in-first-out list of owned commands, shared by the producers and the
// dispatch thread. The mutex guards only the list: it is never held while a
// command executes.
class CommandQueue
{
public:
    CommandQueue() = default;
    ~CommandQueue();

    CommandQueue(const CommandQueue &) = delete;
    CommandQueue &operator=(const CommandQueue &) = delete;

    // Appends a command and wakes the dispatch thread. The queue owns the
    // command once this returns true; a null command returns false.
    bool enqueue(CameraCommand *command);
    // Removes and returns the oldest command, or null; the caller owns it.
    CameraCommand *takeNext();
    // Sleeps until a command is queued or the time-out passes; true when
    // woken. Returns at once when a command is already waiting, so that a
    // command queued just before the wait is not left for the full period.
    bool waitForCommands(unsigned long timeoutMs);
    // Deletes every pending command without executing it.
    bool clear();
    // Wakes every waiter without queuing anything (used at shutdown).
    void wakeAll();

private:
    QList<CameraCommand *> pending;
    std::mutex mutex;
    std::condition_variable commandsAvailable;
};

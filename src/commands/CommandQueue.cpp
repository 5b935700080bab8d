#include "CommandQueue.h"

#include "CameraCommand.h"

#include <chrono>

CommandQueue::~CommandQueue()
{
    clear();
    commandsAvailable.notify_all();
}

bool CommandQueue::enqueue(CameraCommand *command)
{
    if (!command)
        return false;
    {
        std::lock_guard locker(mutex);
        pending.append(command);
    }
    commandsAvailable.notify_all();
    return true;
}

CameraCommand *CommandQueue::takeNext()
{
    std::lock_guard locker(mutex);
    return pending.isEmpty() ? nullptr : pending.takeFirst();
}

bool CommandQueue::waitForCommands(unsigned long timeoutMs)
{
    std::unique_lock locker(mutex);
    if (!pending.isEmpty())
        return true;
    return commandsAvailable.wait_for(locker, std::chrono::milliseconds(timeoutMs)) == std::cv_status::no_timeout;
}

bool CommandQueue::clear()
{
    QList<CameraCommand *> dropped;
    {
        std::lock_guard locker(mutex);
        dropped.swap(pending);
    }
    // Deleted outside the lock, in list order: a command's destructor must
    // not be able to dead-lock the queue.
    qDeleteAll(dropped);
    return true;
}

void CommandQueue::wakeAll()
{
    commandsAvailable.notify_all();
}

#include "CommandQueue.h"

#include "CameraCommand.h"

CommandQueue::~CommandQueue()
{
    clear();
    commandsAvailable.wakeAll();
}

bool CommandQueue::enqueue(CameraCommand *command)
{
    if (!command)
        return false;
    {
        QMutexLocker locker(&mutex);
        pending.append(command);
    }
    commandsAvailable.wakeAll();
    return true;
}

CameraCommand *CommandQueue::takeNext()
{
    QMutexLocker locker(&mutex);
    return pending.isEmpty() ? nullptr : pending.takeFirst();
}

bool CommandQueue::waitForCommands(unsigned long timeoutMs)
{
    QMutexLocker locker(&mutex);
    if (!pending.isEmpty())
        return true;
    return commandsAvailable.wait(&mutex, QDeadlineTimer(static_cast<qint64>(timeoutMs)));
}

bool CommandQueue::clear()
{
    QList<CameraCommand *> dropped;
    {
        QMutexLocker locker(&mutex);
        dropped.swap(pending);
    }
    // Deleted outside the lock, in list order: a command's destructor must
    // not be able to dead-lock the queue.
    qDeleteAll(dropped);
    return true;
}

void CommandQueue::wakeAll()
{
    commandsAvailable.wakeAll();
}

#include "CommandDispatchThread.h"

#include "CameraCommand.h"
#include "CommandQueue.h"

namespace {
// Bounds how long a stop request or a missed wake-up can go unnoticed.
constexpr unsigned long WaitPeriodMs = 500;
} // namespace

CommandDispatchThread::CommandDispatchThread(CommandQueue *commandQueue)
    : QThread(nullptr), queue(commandQueue)
{
}

CommandDispatchThread::~CommandDispatchThread() = default;

void CommandDispatchThread::requestStop()
{
    stopRequested = true;
    if (CommandQueue *current = queue.load())
        current->wakeAll();
}

void CommandDispatchThread::run()
{
    CommandQueue *commands = queue.load();
    if (!commands)
        return;
    for (;;) {
        commands->waitForCommands(WaitPeriodMs);
        if (stopRequested) {
            queue = nullptr;
            return;
        }
        // A stop drops what is still queued: the queue's owner deletes it.
        while (!stopRequested) {
            CameraCommand *command = commands->takeNext();
            if (!command)
                break;
            command->execute();
            delete command;
        }
        if (stopRequested)
            return;
    }
}

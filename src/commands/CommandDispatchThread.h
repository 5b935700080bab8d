#pragma once

#include <QThread>

#include <atomic>

class CommandQueue;

// The single worker that executes queued commands one at a time, oldest
// first, off the main thread and off the driver connection's receive thread.
class CommandDispatchThread : public QThread
{
    Q_OBJECT

public:
    explicit CommandDispatchThread(CommandQueue *queue);
    ~CommandDispatchThread() override;

    // Asks the thread to end after the command it is executing. The waiter
    // is woken, so an idle thread ends at once rather than after its
    // 500 ms period.
    void requestStop();

protected:
    void run() override;

private:
    std::atomic<CommandQueue *> queue;
    std::atomic<bool> stopRequested{false};
};

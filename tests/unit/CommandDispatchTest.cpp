// The commands, the queue and the dispatch thread.
#include "commands/CameraCommand.h"
#include "commands/CommandDispatchThread.h"
#include "commands/CommandHandler.h"
#include "commands/CommandQueue.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <mutex>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

namespace {

// Records each operation as "name(argument)".
class RecordingHandler final : public CommandHandler
{
public:
    void bvdApiDisconnected(int reason) override { record(QStringLiteral("bvdApiDisconnected(%1)").arg(reason)); }
    void bvdApiOemButtonPressed(int id) override { record(QStringLiteral("bvdApiOemButtonPressed(%1)").arg(id)); }
    bool addBVDOCCAMConfigurationMenuItem() override
    {
        record(QStringLiteral("addBVDOCCAMConfigurationMenuItem()"));
        return false;
    }
    void shutdownApplication() override { record(QStringLiteral("shutdownApplication()")); }
    bool removeBVDOCCAMConfigurationMenuItem(int id) override
    {
        record(QStringLiteral("removeBVDOCCAMConfigurationMenuItem(%1)").arg(id));
        return true;
    }
    void checkApiConnection() override
    {
        record(QStringLiteral("checkApiConnection()"));
        if (onCheck)
            onCheck();
    }
    void manageDocCamApplication(bool flag) override
    {
        record(QStringLiteral("manageDocCamApplication(%1)").arg(flag ? "true" : "false"));
    }
    bool addOEMIcons() override
    {
        record(QStringLiteral("addOEMIcons()"));
        return true;
    }

    QStringList calls() const
    {
        std::lock_guard locker(mutex);
        return recorded;
    }

    bool waitForCalls(int count, int timeoutMs = 5000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (calls().size() < count && !deadline.hasExpired())
            QThread::msleep(1);
        return calls().size() >= count;
    }

    std::function<void()> onCheck;

private:
    void record(const QString &call)
    {
        std::lock_guard locker(mutex);
        recorded.append(call);
    }
    mutable std::mutex mutex;
    QStringList recorded;
};

// Counts its deletions, so tests can see who deletes a command and when.
class CountedCommand final : public CameraCommand
{
public:
    CountedCommand(std::atomic<int> &executions, std::atomic<int> &deletions)
        : executed(executions), deleted(deletions)
    {
    }
    ~CountedCommand() override { ++deleted; }
    void execute() override { ++executed; }

private:
    std::atomic<int> &executed;
    std::atomic<int> &deleted;
};

} // namespace

TEST(CameraCommandTest, EachCommandCallsItsOneOperationWithItsArgument)
{
    RecordingHandler handler;
    std::unique_ptr<CameraCommand> commands[] = {
        std::make_unique<APIDisconnectCommand>(&handler, -1),
        std::make_unique<OemButtonCommand>(&handler, 94),
        std::make_unique<AddBVDOCCAMConfigureMenuItemCommand>(&handler),
        std::make_unique<ExitApplicationCommand>(&handler),
        std::make_unique<RemoveBVDOCCAMConfigureMenuItemCommand>(&handler, 5),
        std::make_unique<BVDAPIConnectCommand>(&handler),
        std::make_unique<ManageDocCamApplicationCommand>(&handler, false),
        std::make_unique<AddOemIconsCommand>(&handler),
    };
    for (const auto &command : commands)
        command->execute();
    EXPECT_EQ(handler.calls(),
              (QStringList{"bvdApiDisconnected(-1)", "bvdApiOemButtonPressed(94)",
                           "addBVDOCCAMConfigurationMenuItem()", "shutdownApplication()",
                           "removeBVDOCCAMConfigurationMenuItem(5)", "checkApiConnection()",
                           "manageDocCamApplication(false)", "addOEMIcons()"}));
}

TEST(CameraCommandTest, ANullHandlerMakesEveryCommandANoOp)
{
    std::unique_ptr<CameraCommand> commands[] = {
        std::make_unique<APIDisconnectCommand>(nullptr, 1),
        std::make_unique<ManageDocCamApplicationCommand>(nullptr, true),
        std::make_unique<AddOemIconsCommand>(nullptr),
    };
    for (const auto &command : commands)
        EXPECT_NO_FATAL_FAILURE(command->execute());
}

TEST(CommandQueueTest, FirstInFirstOutAndOwnership)
{
    CommandQueue queue;
    EXPECT_FALSE(queue.enqueue(nullptr));
    EXPECT_EQ(queue.takeNext(), nullptr);

    RecordingHandler handler;
    auto *first = new OemButtonCommand(&handler, 1);
    auto *second = new OemButtonCommand(&handler, 2);
    EXPECT_TRUE(queue.enqueue(first));
    EXPECT_TRUE(queue.enqueue(second));
    std::unique_ptr<CameraCommand> taken(queue.takeNext());
    EXPECT_EQ(taken.get(), first);
    taken.reset(queue.takeNext());
    EXPECT_EQ(taken.get(), second);
    EXPECT_EQ(queue.takeNext(), nullptr);
}

TEST(CommandQueueTest, ClearAndDestructionDeleteWithoutExecuting)
{
    std::atomic<int> executed{0};
    std::atomic<int> deleted{0};
    {
        CommandQueue queue;
        EXPECT_TRUE(queue.clear()); // empty: nothing to do
        queue.enqueue(new CountedCommand(executed, deleted));
        queue.enqueue(new CountedCommand(executed, deleted));
        EXPECT_TRUE(queue.clear());
        EXPECT_EQ(deleted, 2);
        EXPECT_EQ(queue.takeNext(), nullptr);
        queue.enqueue(new CountedCommand(executed, deleted));
    }
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(executed, 0);
}

TEST(CommandQueueTest, AWaitReturnsAtOnceWhenACommandIsAlreadyQueued)
{
    CommandQueue queue;
    std::atomic<int> executed{0};
    std::atomic<int> deleted{0};
    queue.enqueue(new CountedCommand(executed, deleted));
    // Without the look at the list this would sleep for the whole minute.
    EXPECT_TRUE(queue.waitForCommands(60000));
    EXPECT_FALSE(CommandQueue().waitForCommands(1));
}

TEST(CommandDispatchThreadTest, ExecutesInQueueOrderAndDeletesEachCommand)
{
    CommandQueue queue;
    RecordingHandler handler;
    CommandDispatchThread thread(&queue);
    // Queued before the start: they wait in the list.
    queue.enqueue(new OemButtonCommand(&handler, 1));
    queue.enqueue(new APIDisconnectCommand(&handler, 2));
    thread.start();
    queue.enqueue(new ManageDocCamApplicationCommand(&handler, true));
    ASSERT_TRUE(handler.waitForCalls(3));
    EXPECT_EQ(handler.calls(), (QStringList{"bvdApiOemButtonPressed(1)", "bvdApiDisconnected(2)",
                                            "manageDocCamApplication(true)"}));
    thread.requestStop();
    EXPECT_TRUE(thread.wait(5000));

    std::atomic<int> executed{0};
    std::atomic<int> deleted{0};
    CommandQueue counted;
    CommandDispatchThread second(&counted);
    second.start();
    counted.enqueue(new CountedCommand(executed, deleted));
    QDeadlineTimer deadline(5000);
    while (deleted == 0 && !deadline.hasExpired())
        QThread::msleep(1);
    EXPECT_EQ(executed, 1);
    EXPECT_EQ(deleted, 1);
    second.requestStop();
    EXPECT_TRUE(second.wait(5000));
}

TEST(CommandDispatchThreadTest, ACommandQueuedByACommandRunsInTheSameDrain)
{
    CommandQueue queue;
    RecordingHandler handler;
    handler.onCheck = [&] { queue.enqueue(new AddOemIconsCommand(&handler)); };
    CommandDispatchThread thread(&queue);
    thread.start();
    queue.enqueue(new BVDAPIConnectCommand(&handler));
    ASSERT_TRUE(handler.waitForCalls(2));
    EXPECT_EQ(handler.calls(), (QStringList{"checkApiConnection()", "addOEMIcons()"}));
    thread.requestStop();
    EXPECT_TRUE(thread.wait(5000));
}

TEST(CommandDispatchThreadTest, StopEndsAnIdleThreadAndLeavesPendingCommandsUnrun)
{
    CommandQueue queue;
    RecordingHandler handler;
    CommandDispatchThread thread(&queue);
    thread.start();
    thread.requestStop();
    EXPECT_TRUE(thread.wait(2000));
    queue.enqueue(new OemButtonCommand(&handler, 7));
    EXPECT_TRUE(handler.calls().isEmpty());
    EXPECT_TRUE(queue.clear());

    CommandDispatchThread withoutQueue(nullptr);
    withoutQueue.start();
    EXPECT_TRUE(withoutQueue.wait(2000));
}

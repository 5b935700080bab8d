// The viewer's link on the user's own socket: it talks only to a watchdog of
// its own user, and it closes at once whatever state its connection is in.
#include "LogCapture.h"
#include "WatchdogLink.h"
#include "platform/LocalSocket.h"
#include "protocol/Channel.h"
#include "protocol/WatchdogCommand.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

QByteArray encoded(std::int32_t request, std::int32_t command)
{
    WatchdogMessage message;
    message.request = request;
    message.command = command;
    const auto bytes = message.encode();
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

} // namespace

TEST(WatchdogLinkChannel, OnTheUsersSocketRecordsGoBothWays)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("viewer.sock"));
    QLocalServer watchdog;
    ASSERT_TRUE(watchdog.listen(path));

    WatchdogLink link(protocol::ChannelAddress::localSocket(path.toStdString()));
    QSignalSpy connected(&link, &WatchdogLink::connected);
    std::vector<std::int32_t> received;
    QObject::connect(&link, &WatchdogLink::recordReceived,
                     [&received](const WatchdogMessage &message) { received.push_back(message.command); });
    link.start();
    ASSERT_TRUE(watchdog.waitForNewConnection(5000));
    std::unique_ptr<QLocalSocket> peer(watchdog.nextPendingConnection());
    ASSERT_TRUE(connected.count() == 1 || connected.wait(3000));

    peer->write(encoded(1, 162));
    peer->flush();
    ASSERT_TRUE(QTest::qWaitFor([&received] { return !received.empty(); }, 3000));
    EXPECT_EQ(received, std::vector<std::int32_t>{162});
    // The request is answered: request 0, the same command.
    QByteArray answer;
    for (int i = 0; i < 100 && answer.size() < static_cast<qsizetype>(WatchdogMessage::Size); ++i) {
        QTest::qWait(30); // the link writes from the event loop
        answer.append(peer->readAll());
    }
    EXPECT_EQ(answer, encoded(0, 162));
}

TEST(WatchdogLinkChannel, AListenerOfAnotherUserIsNeverTalkedTo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    QTemporaryDir folder;
    ::chmod(QFile::encodeName(folder.path()).constData(), 0777);
    const std::string path = folder.filePath(QStringLiteral("viewer.sock")).toStdString();
    const protocol::ChannelAddress address = protocol::ChannelAddress::localSocket(path);

    // A stranger (uid 1000) listens where the viewer looks, and counts what
    // reaches it.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t stranger = ::fork();
    if (stranger == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(1000, 1000, 1000) != 0 || ::setresuid(1000, 1000, 1000) != 0)
            ::_exit(2);
        // Where the viewer would look if its folder were not its own.
        const auto listener = platform::net::openLocalSocket();
        if (!platform::net::bindLocal(listener, path) || !platform::net::listenOn(listener, 5))
            ::_exit(3);
        ::chmod(path.c_str(), 0777);
        char ready = 1;
        (void)::write(pipeEnds[1], &ready, 1);
        const int client = ::accept(static_cast<int>(listener), nullptr, nullptr);
        char byte;
        // Whatever the viewer sends arrives here; nothing must.
        ::_exit(client >= 0 && ::recv(client, &byte, 1, 0) > 0 ? 1 : 0);
    }
    ::close(pipeEnds[1]);
    char ready = 0;
    ASSERT_EQ(::read(pipeEnds[0], &ready, 1), 1);
    ::close(pipeEnds[0]);

    LogCapture log;
    WatchdogLink link(address);
    QSignalSpy connected(&link, &WatchdogLink::connected);
    link.start();
    EXPECT_TRUE(log.waitFor(QStringLiteral("<WatchdogLink> Connection refused: the peer (pid %1) runs as uid 1000, not 0")
                                .arg(stranger)));
    EXPECT_FALSE(link.sendRequest(LED_STATUS));
    QTest::qWait(300);
    EXPECT_EQ(connected.count(), 0);
    link.close();
    int status = 0;
    ::waitpid(stranger, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the stranger heard from the viewer";
}

TEST(WatchdogLinkChannel, ClosingWhileTheConnectionIsBeingMadeEndsAtOnce)
{
    // A port where nothing listens: the attempt is still under way when the
    // window closes, and fails only afterwards.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();

    WatchdogLink link(port);
    QSignalSpy closed(&link, &WatchdogLink::closed);
    link.start();
    link.close();
    EXPECT_TRUE(closed.count() == 1 || closed.wait(2000));
    QTest::qWait(200);
    EXPECT_EQ(closed.count(), 1);
}

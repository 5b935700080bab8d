// Who may use the viewer port on Windows: only processes of our own logon
// session. The decision runs on tables made up here (every user's and
// session's case, which one wine session cannot show), and the system's
// own table must list a connection of this process at its real ports.
#include "PeerSessionCheck.h"
#include "platform/Net.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using platform::win32_backend::PeerSessionCheck;
using platform::win32_backend::TcpConnectionRow;
using platform::win32_backend::TcpEndpoint;
namespace net = platform::net;

constexpr DWORD Watchdog = 100;
constexpr TcpEndpoint Server{net::LoopbackAddress, 1933};
constexpr TcpEndpoint Peer{net::LoopbackAddress, 50123};

// Our own end of the connection, held by the watchdog, and the peer's end.
std::vector<TcpConnectionRow> connection(DWORD peerOwner, DWORD serverOwner = Watchdog)
{
    return {{Server, Peer, serverOwner}, {Peer, Server, peerOwner}};
}

struct Verdict
{
    bool ours;
    std::string why;
};

Verdict judge(std::vector<TcpConnectionRow> table, std::map<DWORD, DWORD> sessions = {{Watchdog, 1}})
{
    PeerSessionCheck check(std::move(table), Watchdog, [sessions](DWORD process) -> std::optional<DWORD> {
        const auto found = sessions.find(process);
        return found == sessions.end() ? std::nullopt : std::optional<DWORD>(found->second);
    });
    Verdict verdict{false, ""};
    verdict.ours = check.isOurs(Peer, Server, verdict.why);
    return verdict;
}

TEST(PeerSessionCheck, LetsInOurSessionOnlyAndSaysWhyNot)
{
    // Another program of our session, such as the viewer that the
    // elevation retry started as another administrator.
    const Verdict sameSession = judge(connection(200), {{Watchdog, 1}, {200, 1}});
    EXPECT_TRUE(sameSession.ours) << sameSession.why;

    const Verdict otherSession = judge(connection(300), {{Watchdog, 1}, {300, 2}});
    EXPECT_FALSE(otherSession.ours);
    EXPECT_EQ(otherSession.why, "the peer at 127.0.0.1:50123 runs in session 2, not 1");

    const Verdict unreadable = judge(connection(400));
    EXPECT_FALSE(unreadable.ours);
    EXPECT_EQ(unreadable.why, "the session of process 400, the peer at 127.0.0.1:50123, cannot be read");

    const Verdict ownUnreadable = judge(connection(200), {{200, 1}});
    EXPECT_FALSE(ownUnreadable.ours);
    EXPECT_EQ(ownUnreadable.why, "the session of this process cannot be read");
}

TEST(PeerSessionCheck, APeerWithoutOwnerIsRefusedWhereTheSystemNamesOwners)
{
    const Verdict missing = judge({{Server, Peer, Watchdog}});
    EXPECT_FALSE(missing.ours);
    EXPECT_EQ(missing.why, "no process owns the peer at 127.0.0.1:50123");

    // Owner 0 on the peer's end only: nobody holds that socket any more.
    const Verdict unowned = judge(connection(0));
    EXPECT_FALSE(unowned.ours);
    EXPECT_EQ(unowned.why, "no process owns the peer at 127.0.0.1:50123");

    // A leftover of an earlier connection on the same ports does not hide
    // the process that holds the live one, listed before or after it.
    std::vector<TcpConnectionRow> leftoverFirst = connection(300);
    leftoverFirst.insert(leftoverFirst.begin(), {Peer, Server, 0});
    const Verdict live = judge(leftoverFirst, {{Watchdog, 1}, {300, 1}});
    EXPECT_TRUE(live.ours) << live.why;
    std::vector<TcpConnectionRow> leftoverLast = connection(300);
    leftoverLast.push_back({Peer, Server, 0});
    const Verdict other = judge(leftoverLast, {{Watchdog, 1}, {300, 2}});
    EXPECT_FALSE(other.ours);
    EXPECT_EQ(other.why, "the peer at 127.0.0.1:50123 runs in session 2, not 1");

    // No owner on either end: the system keeps no owners (wine).
    const Verdict noOwners = judge(connection(0, 0));
    EXPECT_TRUE(noOwners.ours);
    EXPECT_EQ(noOwners.why,
              "this system names no owner of any connection, so the peer at 127.0.0.1:50123 cannot be told apart");
}

TEST(PeerSessionCheck, TheSystemTableListsBothEndsOfALoopbackConnection)
{
    ASSERT_TRUE(net::startup());
    const net::SocketHandle listener = net::openTcpSocket();
    ASSERT_TRUE(net::bindTo(listener, net::LoopbackAddress, 0));
    ASSERT_TRUE(net::listenOn(listener, 1));
    const net::SocketHandle client = net::openTcpSocket();
    ASSERT_TRUE(net::connectTo(client, net::LoopbackAddress, *net::localPort(listener)));
    const net::SocketHandle accepted = net::acceptConnection(listener);
    const TcpEndpoint server{net::LoopbackAddress, *net::localPort(accepted)};
    const TcpEndpoint peer{net::LoopbackAddress, *net::localPort(client)};

    const auto table = PeerSessionCheck::systemTable();
    ASSERT_TRUE(table.has_value());
    int ends = 0;
    for (const TcpConnectionRow &row : *table) {
        const bool peerEnd = row.local.port == peer.port && row.remote.port == server.port;
        const bool serverEnd = row.local.port == server.port && row.remote.port == peer.port;
        if (!peerEnd && !serverEnd)
            continue;
        ++ends;
        EXPECT_EQ(row.local.address, net::LoopbackAddress);
        EXPECT_EQ(row.remote.address, net::LoopbackAddress);
        // Windows names this process on both ends; wine names nobody.
        EXPECT_TRUE(row.owner == GetCurrentProcessId() || row.owner == 0) << row.owner;
    }
    EXPECT_EQ(ends, 2);

    std::string why;
    EXPECT_TRUE(net::peerIsOurs(accepted, why)) << why;
    why.clear();
    EXPECT_FALSE(net::peerIsOurs(listener, why)) << "a listening socket has no peer";
    EXPECT_FALSE(why.empty());
    for (const net::SocketHandle socket : {accepted, client, listener})
        net::closeSocket(socket);
    net::cleanup();
}

} // namespace

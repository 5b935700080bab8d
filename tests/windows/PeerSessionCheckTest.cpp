// Who may use the viewer port on Windows: only processes of our own logon
// session. The decision runs on tables made up here (every user's and
// session's case, which one wine session cannot show), and the system's
// own table must list a connection of this process at its real ports.
#include "PeerSessionCheck.h"
#include "ProcessSession.h"
#include "platform/Net.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
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

Verdict judge(std::vector<TcpConnectionRow> table, std::map<DWORD, DWORD> sessions = {{Watchdog, 1}},
             PeerSessionCheck::OwnerlessTable ownerless = PeerSessionCheck::OwnerlessTable::Refuse)
{
    PeerSessionCheck check(
        std::move(table), Watchdog,
        [sessions](DWORD process) -> std::optional<DWORD> {
            const auto found = sessions.find(process);
            return found == sessions.end() ? std::nullopt : std::optional<DWORD>(found->second);
        },
        ownerless);
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

    // No owner on either end: wine keeps none, and its peers are let in;
    // on Windows, which always names us, the peer is refused.
    const std::string nobody =
        "this system names no owner of any connection, so the peer at 127.0.0.1:50123 cannot be told apart";
    const Verdict underWine = judge(connection(0, 0), {{Watchdog, 1}}, PeerSessionCheck::OwnerlessTable::LetIn);
    EXPECT_TRUE(underWine.ours);
    EXPECT_EQ(underWine.why, nobody);
    const Verdict onWindows = judge(connection(0, 0));
    EXPECT_FALSE(onWindows.ours);
    EXPECT_EQ(onWindows.why, nobody);
}

TEST(PeerSessionCheck, IPv6RowsStandForTheIPv4AddressTheyMap)
{
    const unsigned char mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
    const unsigned char any[16] = {};
    const unsigned char loopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const unsigned char compatible[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 127, 0, 0, 1};
    EXPECT_EQ(PeerSessionCheck::ipv4Form(mapped), std::optional<std::uint32_t>(net::LoopbackAddress));
    EXPECT_EQ(PeerSessionCheck::ipv4Form(any), std::optional<std::uint32_t>(0));
    EXPECT_EQ(PeerSessionCheck::ipv4Form(loopback6), std::nullopt);
    EXPECT_EQ(PeerSessionCheck::ipv4Form(compatible), std::nullopt);
}

TEST(PeerSessionCheck, TheSessionsOfProcessesNeedNoHandleAndAgreeWithOurOwn)
{
    // This process, and the system's processes, are listed; our session is
    // told from the same lists as everyone's.
    const auto own = platform::win32_backend::ownSession();
    ASSERT_TRUE(own.has_value());
    const auto lookup = platform::win32_backend::sessionsNow();
    EXPECT_EQ(lookup(GetCurrentProcessId()), own);
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring path(program, length);
    const auto named = platform::win32_backend::processesNamed(path.substr(path.find_last_of(L"\\") + 1));
    ASSERT_TRUE(named.has_value());
    const auto self = std::find_if(named->begin(), named->end(), [](const auto &process) {
        return process.id == GetCurrentProcessId();
    });
    ASSERT_NE(self, named->end());
    EXPECT_EQ(self->session, own);
    // A process that does not exist has no session.
    EXPECT_EQ(platform::win32_backend::sessionOfProcess(0xFFFFFFF0), std::nullopt);
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
    // Wine builds the table from /proc/net/tcp, which the kernel hands out
    // page by page: while other processes open and close sockets, a row can
    // come twice. Each end must be there, and every copy must agree.
    bool peerEndListed = false;
    bool serverEndListed = false;
    for (const TcpConnectionRow &row : *table) {
        const bool peerEnd = row.local.port == peer.port && row.remote.port == server.port;
        const bool serverEnd = row.local.port == server.port && row.remote.port == peer.port;
        if (!peerEnd && !serverEnd)
            continue;
        peerEndListed = peerEndListed || peerEnd;
        serverEndListed = serverEndListed || serverEnd;
        EXPECT_EQ(row.local.address, net::LoopbackAddress);
        EXPECT_EQ(row.remote.address, net::LoopbackAddress);
        // Windows names this process on both ends; wine names nobody.
        EXPECT_TRUE(row.owner == GetCurrentProcessId() || row.owner == 0) << row.owner;
    }
    EXPECT_TRUE(peerEndListed) << "the client's end is missing";
    EXPECT_TRUE(serverEndListed) << "the accepted end is missing";

    std::string why;
    EXPECT_TRUE(net::peerIsOurs(accepted, why)) << why;
    why.clear();
    EXPECT_FALSE(net::peerIsOurs(listener, why)) << "a listening socket has no peer";
    EXPECT_FALSE(why.empty());
    for (const net::SocketHandle socket : {accepted, client, listener})
        net::closeSocket(socket);
    net::cleanup();
}

TEST(PeerSessionCheck, APeerOnADualStackIPv6SocketIsFoundInTheIPv6Table)
{
    ASSERT_TRUE(net::startup());
    const net::SocketHandle listener = net::openTcpSocket();
    ASSERT_TRUE(net::bindTo(listener, net::LoopbackAddress, 0));
    ASSERT_TRUE(net::listenOn(listener, 1));
    const std::uint16_t port = *net::localPort(listener);

    // A client whose socket is IPv6, reaching the IPv4 port through the
    // mapped address, as a program written for both families does.
    const SOCKET client = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(client, INVALID_SOCKET);
    const DWORD both = 0;
    setsockopt(client, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char *>(&both), sizeof both);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(port);
    const unsigned char mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
    std::copy(std::begin(mapped), std::end(mapped), to.sin6_addr.s6_addr);
    ASSERT_EQ(connect(client, reinterpret_cast<const sockaddr *>(&to), sizeof to), 0) << WSAGetLastError();
    sockaddr_in6 clientEnd{};
    int clientEndLength = sizeof clientEnd;
    ASSERT_EQ(getsockname(client, reinterpret_cast<sockaddr *>(&clientEnd), &clientEndLength), 0);
    const net::SocketHandle accepted = net::acceptConnection(listener);
    ASSERT_NE(accepted, net::InvalidSocket);

    const auto table = PeerSessionCheck::systemTable();
    ASSERT_TRUE(table.has_value());
    const TcpEndpoint peer{net::LoopbackAddress, ntohs(clientEnd.sin6_port)};
    const TcpEndpoint server{net::LoopbackAddress, port};
    const bool listed = std::any_of(table->begin(), table->end(), [&](const TcpConnectionRow &row) {
        return row.local.address == peer.address && row.local.port == peer.port
               && row.remote.address == server.address && row.remote.port == server.port;
    });
    EXPECT_TRUE(listed) << "the IPv6 end of port " << peer.port << " is not in the table";
    std::string why;
    EXPECT_TRUE(net::peerIsOurs(accepted, why)) << why;

    closesocket(client);
    net::closeSocket(accepted);
    net::closeSocket(listener);
    net::cleanup();
}

} // namespace

// The client's check of who listens on the loopback port it reached: the
// system's table of listening TCP sockets names the process that holds the
// port, and that process must run in our logon session.
#include "platform/Net.h"

#include "PeerSessionCheck.h"
#include "ProcessSession.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <optional>
#include <vector>

namespace platform::net {

namespace {

constexpr int TableReadAttempts = 4;

struct ListeningRow
{
    std::uint32_t address = 0; // host byte order
    std::uint16_t port = 0;
    DWORD owner = 0;
};

std::optional<std::vector<ListeningRow>> listeningSockets()
{
    std::vector<DWORD> buffer; // DWORDs keep the table aligned
    DWORD size = 0;
    for (int attempt = 0; attempt < TableReadAttempts; ++attempt) {
        const DWORD result = GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, AF_INET,
                                                 TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) {
            buffer.assign(size / sizeof(DWORD) + 16, 0);
            size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
            continue;
        }
        if (result != NO_ERROR || buffer.empty())
            return std::nullopt;
        const auto *table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID *>(buffer.data());
        std::vector<ListeningRow> rows;
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID &row = table->table[i];
            rows.push_back({ntohl(row.dwLocalAddr), ntohs(static_cast<u_short>(row.dwLocalPort)), row.dwOwningPid});
        }
        return rows;
    }
    return std::nullopt;
}

} // namespace

bool listenerIsOurs(SocketHandle connection, std::string &why)
{
    sockaddr_in server{};
    int length = sizeof server;
    if (::getpeername(static_cast<SOCKET>(connection), reinterpret_cast<sockaddr *>(&server), &length) != 0
        || server.sin_family != AF_INET) {
        why = "the server's address cannot be read (error " + std::to_string(::WSAGetLastError()) + ")";
        return false;
    }
    const std::uint32_t address = ntohl(server.sin_addr.s_addr);
    const std::uint16_t port = ntohs(server.sin_port);
    const std::string text = "127.0.0.1:" + std::to_string(port);
    const auto rows = listeningSockets();
    if (!rows) {
        why = "the system's table of listening sockets cannot be read";
        return false;
    }
    std::optional<DWORD> owner;
    for (const ListeningRow &row : *rows) {
        if (row.port != port)
            continue;
        if (row.address == address) {
            owner = row.owner;
            break;
        }
        if (row.address == 0 && !owner)
            owner = row.owner;
    }
    if (!owner) {
        why = "nothing listens at " + text + " any more";
        return false;
    }
    if (*owner == 0) {
        // Wine keeps every socket in its server process and names no owner;
        // on Windows a listener without an owner is a fault, and refused.
        if (!win32_backend::runningUnderWine()) {
            why = "the listener at " + text + " has no owner in the system's table";
            return false;
        }
        why = "this system names no owner of the listener at " + text + ", so it cannot be told apart";
        return true;
    }
    // Both sessions from one look at the system's lists.
    const win32_backend::SessionLookup sessionOf = win32_backend::sessionsNow();
    const std::optional<DWORD> theirs = sessionOf(*owner);
    const std::optional<DWORD> ours = sessionOf(::GetCurrentProcessId());
    if (!theirs || !ours) {
        why = "the session of the listener at " + text + " cannot be told";
        return false;
    }
    if (*theirs != *ours) {
        why = "the listener at " + text + " runs in session " + std::to_string(*theirs) + ", not "
              + std::to_string(*ours);
        return false;
    }
    return true;
}

} // namespace platform::net

#include "PeerSessionCheck.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

namespace platform::win32_backend {

namespace {

bool same(TcpEndpoint a, TcpEndpoint b)
{
    return a.address == b.address && a.port == b.port;
}

// Connections made between asking for the size and reading the table need
// room too; a table that keeps outgrowing its buffer is given up on.
constexpr int TableReadAttempts = 4;
constexpr DWORD SpareRows = 16;

} // namespace

PeerSessionCheck::PeerSessionCheck(std::vector<TcpConnectionRow> table, DWORD ownProcess, SessionLookup sessionOf)
    : rows(std::move(table)), ownProcess(ownProcess), sessionOf(std::move(sessionOf))
{
}

std::optional<std::vector<TcpConnectionRow>> PeerSessionCheck::systemTable()
{
    // DWORDs keep the buffer aligned for the table the system writes into it.
    std::vector<DWORD> buffer;
    DWORD size = 0;
    for (int attempt = 0; attempt < TableReadAttempts; ++attempt) {
        const DWORD result = GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, AF_INET,
                                                 TCP_TABLE_OWNER_PID_ALL, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) {
            size += SpareRows * sizeof(MIB_TCPROW_OWNER_PID);
            buffer.assign(size / sizeof(DWORD) + 1, 0);
            size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
            continue;
        }
        if (result != NO_ERROR || buffer.empty())
            return std::nullopt;
        const auto *table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID *>(buffer.data());
        std::vector<TcpConnectionRow> rows;
        rows.reserve(table->dwNumEntries);
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID &row = table->table[i];
            rows.push_back({{ntohl(row.dwLocalAddr), ntohs(static_cast<u_short>(row.dwLocalPort))},
                            {ntohl(row.dwRemoteAddr), ntohs(static_cast<u_short>(row.dwRemotePort))},
                            row.dwOwningPid});
        }
        return rows;
    }
    return std::nullopt;
}

bool PeerSessionCheck::isOurs(TcpEndpoint peer, TcpEndpoint own, std::string &why) const
{
    const std::string peerText = describe(peer);
    const std::optional<DWORD> owner = ownerOf(peer, own);
    if (!owner || *owner == 0) {
        // On Windows our own end always names us; owner 0 there too means
        // the system keeps no owners at all, and nothing can be told.
        const std::optional<DWORD> ownEnd = ownerOf(own, peer);
        if (owner && ownEnd && *ownEnd == 0) {
            why = "this system names no owner of any connection, so the peer at " + peerText + " cannot be told apart";
            return true;
        }
        why = "no process owns the peer at " + peerText;
        return false;
    }
    if (*owner == ownProcess)
        return true;

    const std::optional<DWORD> peerSession = sessionOf(*owner);
    if (!peerSession) {
        why = "the session of process " + std::to_string(*owner) + ", the peer at " + peerText
              + ", cannot be read";
        return false;
    }
    const std::optional<DWORD> ownSession = sessionOf(ownProcess);
    if (!ownSession) {
        why = "the session of this process cannot be read";
        return false;
    }
    if (*peerSession != *ownSession) {
        why = "the peer at " + peerText + " runs in session " + std::to_string(*peerSession) + ", not "
              + std::to_string(*ownSession);
        return false;
    }
    return true;
}

std::string PeerSessionCheck::describe(TcpEndpoint endpoint)
{
    return std::to_string(endpoint.address >> 24) + "." + std::to_string((endpoint.address >> 16) & 0xFF) + "."
           + std::to_string((endpoint.address >> 8) & 0xFF) + "." + std::to_string(endpoint.address & 0xFF) + ":"
           + std::to_string(endpoint.port);
}

std::optional<DWORD> PeerSessionCheck::ownerOf(TcpEndpoint local, TcpEndpoint remote) const
{
    // A socket that no process holds any more (TIME_WAIT) may still be
    // listed beside the one that is: the held one counts.
    std::optional<DWORD> owner;
    for (const TcpConnectionRow &row : rows) {
        if (same(row.local, local) && same(row.remote, remote) && (!owner || *owner == 0))
            owner = row.owner;
    }
    return owner;
}

} // namespace platform::win32_backend

#include "PeerSessionCheck.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <iterator>

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

// One of the system's TCP tables (AF_INET or AF_INET6) with owners, as
// written by the system; nothing when it cannot be read.
template<typename Row>
std::optional<std::vector<DWORD>> readTable(ULONG family)
{
    // DWORDs keep the buffer aligned for the table the system writes into it.
    std::vector<DWORD> buffer;
    DWORD size = 0;
    for (int attempt = 0; attempt < TableReadAttempts; ++attempt) {
        const DWORD result = GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, family,
                                                 TCP_TABLE_OWNER_PID_ALL, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) {
            size += SpareRows * sizeof(Row);
            buffer.assign(size / sizeof(DWORD) + 1, 0);
            size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
            continue;
        }
        if (result != NO_ERROR || buffer.empty())
            return std::nullopt;
        return buffer;
    }
    return std::nullopt;
}

std::uint16_t hostPort(DWORD networkPort)
{
    return ntohs(static_cast<u_short>(networkPort));
}

} // namespace

PeerSessionCheck::PeerSessionCheck(std::vector<TcpConnectionRow> table, DWORD ownProcess, SessionLookup sessionOf,
                                   OwnerlessTable ownerless)
    : rows(std::move(table)), ownProcess(ownProcess), sessionOf(std::move(sessionOf)), ownerless(ownerless)
{
}

std::optional<std::uint32_t> PeerSessionCheck::ipv4Form(const unsigned char (&address)[16])
{
    static constexpr unsigned char mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(std::begin(mappedPrefix), std::end(mappedPrefix), address))
        return (std::uint32_t(address[12]) << 24) | (std::uint32_t(address[13]) << 16)
               | (std::uint32_t(address[14]) << 8) | std::uint32_t(address[15]);
    if (std::all_of(std::begin(address), std::end(address), [](unsigned char byte) { return byte == 0; }))
        return 0;
    return std::nullopt;
}

std::optional<std::vector<TcpConnectionRow>> PeerSessionCheck::systemTable()
{
    const auto ipv4 = readTable<MIB_TCPROW_OWNER_PID>(AF_INET);
    if (!ipv4)
        return std::nullopt;
    // A system without IPv6 has no peers there; one that is there but
    // cannot be read is then simply not found, and refused.
    const auto ipv6 = readTable<MIB_TCP6ROW_OWNER_PID>(AF_INET6);

    std::vector<TcpConnectionRow> rows;
    const auto *table4 = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID *>(ipv4->data());
    for (DWORD i = 0; i < table4->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID &row = table4->table[i];
        rows.push_back({{ntohl(row.dwLocalAddr), hostPort(row.dwLocalPort)},
                        {ntohl(row.dwRemoteAddr), hostPort(row.dwRemotePort)},
                        row.dwOwningPid});
    }
    if (!ipv6)
        return rows;
    const auto *table6 = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID *>(ipv6->data());
    for (DWORD i = 0; i < table6->dwNumEntries; ++i) {
        const MIB_TCP6ROW_OWNER_PID &row = table6->table[i];
        const std::optional<std::uint32_t> local = ipv4Form(row.ucLocalAddr);
        const std::optional<std::uint32_t> remote = ipv4Form(row.ucRemoteAddr);
        if (local && remote)
            rows.push_back({{*local, hostPort(row.dwLocalPort)}, {*remote, hostPort(row.dwRemotePort)},
                            row.dwOwningPid});
    }
    return rows;
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
            return ownerless == OwnerlessTable::LetIn;
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

bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace platform::win32_backend

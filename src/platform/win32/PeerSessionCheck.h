#pragma once

#include "ProcessSession.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::win32_backend {

// One end of an IPv4 TCP connection, in host byte order.
struct TcpEndpoint
{
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// A row of the system's TCP table: a socket's two ends and the process
// that holds the socket (0 when no process does).
struct TcpConnectionRow
{
    TcpEndpoint local;
    TcpEndpoint remote;
    DWORD owner = 0;
};

// Whether the process at the far end of a loopback connection runs in our
// logon session. On loopback the system's TCP tables list both ends of a
// connection, each with the process that holds it: the peer's socket is the
// row whose local end is the peer and whose remote end is ours.
class PeerSessionCheck
{
public:
    // What to make of a table that names no owner at all, not even of our
    // own end. Wine keeps every socket in its server process and names
    // nobody; Windows always names us, so there such a table is a fault.
    enum class OwnerlessTable { Refuse, LetIn };

    PeerSessionCheck(std::vector<TcpConnectionRow> table, DWORD ownProcess, SessionLookup sessionOf,
                     OwnerlessTable ownerless = OwnerlessTable::Refuse);

    // The system's TCP connections with their owners (GetExtendedTcpTable),
    // IPv4 and IPv6 both: a peer whose socket is IPv6 (dual-stack) reaches
    // an IPv4 port through an IPv4-mapped address (::ffff:127.0.0.1), and
    // its end is listed in the IPv6 table only. Such rows are given in IPv4
    // form, and "::" as 0.0.0.0; rows of other IPv6 addresses cannot be an
    // end of an IPv4 connection and are left out. Nothing when a table
    // cannot be read.
    static std::optional<std::vector<TcpConnectionRow>> systemTable();

    // The IPv4 address (host order) that an IPv6 address (16 bytes, network
    // order) stands for: that of an IPv4-mapped address, 0.0.0.0 for "::",
    // nothing for any other.
    static std::optional<std::uint32_t> ipv4Form(const unsigned char (&address)[16]);

    // peer is the far end as our socket sees it, own our end. False, with a
    // one-line reason in why, when the peer runs in another session or its
    // session cannot be told. A table that names no owner even for our own
    // end is taken as the system's word that it keeps none (OwnerlessTable);
    // why says so either way.
    bool isOurs(TcpEndpoint peer, TcpEndpoint own, std::string &why) const;

    // "127.0.0.1:50123"
    static std::string describe(TcpEndpoint endpoint);

private:
    std::optional<DWORD> ownerOf(TcpEndpoint local, TcpEndpoint remote) const;

    std::vector<TcpConnectionRow> rows;
    DWORD ownProcess;
    SessionLookup sessionOf;
    OwnerlessTable ownerless;
};

// Whether this program runs under wine (its ntdll exports wine_get_version).
bool runningUnderWine();

} // namespace platform::win32_backend

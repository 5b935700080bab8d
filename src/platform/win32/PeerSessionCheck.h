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
// logon session. On loopback the system's TCP table lists both ends of a
// connection, each with the process that holds it: the peer's socket is the
// row whose local end is the peer and whose remote end is ours.
class PeerSessionCheck
{
public:
    PeerSessionCheck(std::vector<TcpConnectionRow> table, DWORD ownProcess, SessionLookup sessionOf);

    // The system's IPv4 TCP connections with their owners (GetExtendedTcpTable);
    // nothing when the table cannot be read.
    static std::optional<std::vector<TcpConnectionRow>> systemTable();

    // peer is the far end as our socket sees it, own our end. False, with a
    // one-line reason in why, when the peer runs in another session or its
    // session cannot be told. A system that names no owner even for our own
    // end (wine keeps every socket in its server process) cannot be asked:
    // the peer is let in, and why says so.
    bool isOurs(TcpEndpoint peer, TcpEndpoint own, std::string &why) const;

    // "127.0.0.1:50123"
    static std::string describe(TcpEndpoint endpoint);

private:
    std::optional<DWORD> ownerOf(TcpEndpoint local, TcpEndpoint remote) const;

    std::vector<TcpConnectionRow> rows;
    DWORD ownProcess;
    SessionLookup sessionOf;
};

} // namespace platform::win32_backend

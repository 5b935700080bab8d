#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The socket calls of this system, over Windows Sockets or BSD sockets. All
// sockets are blocking IPv4 TCP sockets; addresses and ports are given in
// host byte order.
namespace platform::net {

// Wide enough for a Windows SOCKET and a POSIX descriptor.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle InvalidSocket = -1;

inline constexpr std::uint32_t LoopbackAddress = 0x7F000001; // 127.0.0.1
inline constexpr std::uint32_t AnyAddress = 0;

enum class Direction { Send, Receive, Both };

// Starts the socket library (Windows Sockets 2.2); false when it cannot.
bool startup();
void cleanup();

SocketHandle openTcpSocket();
// Before bind: the listening port can be bound again at once after a
// restart, and no other socket can bind it while we hold it. Linux gets
// that from SO_REUSEADDR (which there only lets a port with connections in
// TIME_WAIT be bound again). On Windows SO_REUSEADDR would let any other
// program bind a port that is in use and take its connections, so Windows
// gets SO_EXCLUSIVEADDRUSE, under which TIME_WAIT does not block a bind.
bool setListenerAddressOption(SocketHandle socket);
bool bindTo(SocketHandle socket, std::uint32_t address, std::uint16_t port);
bool listenOn(SocketHandle socket, int backlog);
// Waits for a connection; InvalidSocket when accept fails (also when the
// listening socket was closed by another thread).
SocketHandle acceptConnection(SocketHandle listener);
bool connectTo(SocketHandle socket, std::uint32_t address, std::uint16_t port);
// The first IPv4 address of a host name.
std::optional<std::uint32_t> resolveIPv4(const std::string &hostName);
// The port a bound socket listens on (for tests that bind port 0).
std::optional<std::uint16_t> localPort(SocketHandle socket);

// Whether the peer of an accepted loopback connection runs as this program's
// own user (Linux; root counts as ours) or in its own logon session
// (Windows). Every local user can reach a loopback port, so the viewer
// server lets in only its own. When the peer is not ours, or cannot be told,
// the answer is false and `why` says which. Wine's socket table names no
// owner at all, not even of our own end, so under wine nobody can be told
// apart: the peer is let in, and `why` says so. On Windows such a table is
// a fault, and the peer is refused.
//
// Only a peer socket that is still open counts (ESTABLISHED, or CLOSE_WAIT):
// a peer that has already closed is left to the kernel, which reports it
// without an owner, so it cannot be told apart from root.
bool peerIsOurs(SocketHandle connection, std::string &why);

// The client's side of the same question, asked after connect and before
// anything is sent: whether the program that listens on the port we reached
// is ours (Linux: its listening socket's uid; Windows: its process's logon
// session). Every local user can bind a free loopback port, and a stranger
// who holds it would otherwise get our records.
bool listenerIsOurs(SocketHandle connection, std::string &why);

// One send or receive call: the number of bytes moved, 0 when the peer closed
// the connection (receive only), -1 on an error. Sending never raises a signal.
long sendSome(SocketHandle socket, const void *data, std::size_t size);
long receiveSome(SocketHandle socket, void *buffer, std::size_t size);

// Sends every byte, continuing partial sends. False on an error.
bool sendAll(SocketHandle socket, const void *data, std::size_t size);

// Bounds how long a send may block on a peer that stops reading.
bool setSendTimeout(SocketHandle socket, int milliseconds);

bool shutdownSocket(SocketHandle socket, Direction direction);
bool closeSocket(SocketHandle socket);
// The error number of the last failed socket call of this thread.
int lastError();

} // namespace platform::net

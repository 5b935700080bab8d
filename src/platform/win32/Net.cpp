// Windows Sockets 2 behind the socket calls of the core.
//
// Windows completes no blocked call when the socket is shut down locally: a
// recv waiting in another thread keeps waiting, and shutdown() of a
// listening socket fails and leaves accept() blocked. The core stops its
// reader and listener threads with shutdownSocket(), as it does on Linux, so
// shutdownSocket() also cancels the socket's pending I/O (CancelIoEx), which
// makes the blocked call return at once with an error, and it remembers a
// listening socket so that later accepts fail as they do on Linux.
#include "platform/Net.h"

#include "PeerSessionCheck.h"
#include "ProcessSession.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <climits>
#include <mutex>
#include <set>

namespace platform::net {

namespace {

SOCKET raw(SocketHandle socket)
{
    return static_cast<SOCKET>(socket);
}

sockaddr_in ipv4(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = htonl(address);
    return in;
}

int clampedLength(std::size_t size)
{
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// Listening sockets that were shut down; removed when closed.
std::mutex shutListenersMutex;
std::set<SocketHandle> shutListeners;

bool isShutListener(SocketHandle socket)
{
    std::lock_guard lock(shutListenersMutex);
    return shutListeners.count(socket) != 0;
}

bool isListening(SocketHandle socket)
{
    BOOL listening = FALSE;
    int length = sizeof listening;
    return ::getsockopt(raw(socket), SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char *>(&listening), &length) == 0
           && listening;
}

// Sockets are not handed to the programs we start: a fresh copy of the
// watchdog must not keep our listening port bound.
void keepFromChildren(SOCKET socket)
{
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

} // namespace

bool startup()
{
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        ::WSACleanup();
        return false;
    }
    return true;
}

void cleanup()
{
    ::WSACleanup();
}

SocketHandle openTcpSocket()
{
    // Overlapped, like socket() makes them: blocking calls still block, and
    // CancelIoEx can end them.
    SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
        // Systems before Windows 7 SP1 do not know the flag.
        s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        if (s != INVALID_SOCKET)
            keepFromChildren(s);
    }
    return s == INVALID_SOCKET ? InvalidSocket : static_cast<SocketHandle>(s);
}

bool setListenerAddressOption(SocketHandle socket)
{
    const BOOL on = TRUE;
    return ::setsockopt(raw(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&on),
                        sizeof on)
           == 0;
}

bool bindTo(SocketHandle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in in = ipv4(address, port);
    return ::bind(raw(socket), reinterpret_cast<const sockaddr *>(&in), sizeof in) == 0;
}

bool listenOn(SocketHandle socket, int backlog)
{
    return ::listen(raw(socket), backlog) == 0;
}

SocketHandle acceptConnection(SocketHandle listener)
{
    if (isShutListener(listener)) {
        ::WSASetLastError(WSAESHUTDOWN);
        return InvalidSocket;
    }
    const SOCKET s = ::accept(raw(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return InvalidSocket;
    keepFromChildren(s);
    return static_cast<SocketHandle>(s);
}

bool connectTo(SocketHandle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in in = ipv4(address, port);
    return ::connect(raw(socket), reinterpret_cast<const sockaddr *>(&in), sizeof in) == 0;
}

std::optional<std::uint32_t> resolveIPv4(const std::string &hostName)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::optional<std::uint32_t> address;
    if (found->ai_family == AF_INET && found->ai_addr && found->ai_addrlen >= sizeof(sockaddr_in)) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
        address = ntohl(in->sin_addr.s_addr);
    }
    ::freeaddrinfo(found);
    return address;
}

std::optional<std::uint16_t> localPort(SocketHandle socket)
{
    sockaddr_in in{};
    int length = sizeof in;
    if (::getsockname(raw(socket), reinterpret_cast<sockaddr *>(&in), &length) != 0)
        return std::nullopt;
    return ntohs(in.sin_port);
}

bool peerIsOurs(SocketHandle connection, std::string &why)
{
    sockaddr_in peer{};
    sockaddr_in own{};
    int peerLength = sizeof peer;
    int ownLength = sizeof own;
    if (::getpeername(raw(connection), reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0
        || ::getsockname(raw(connection), reinterpret_cast<sockaddr *>(&own), &ownLength) != 0) {
        why = "the ends of the connection cannot be read (error " + std::to_string(::WSAGetLastError()) + ")";
        return false;
    }
    if (peer.sin_family != AF_INET || own.sin_family != AF_INET) {
        why = "the connection is not IPv4";
        return false;
    }
    auto table = win32_backend::PeerSessionCheck::systemTable();
    if (!table) {
        why = "the system's table of TCP connections cannot be read";
        return false;
    }
    // An owner-less table is believed only where it is wine's way.
    const win32_backend::PeerSessionCheck check(std::move(*table), GetCurrentProcessId(), win32_backend::sessionsNow(),
                                                win32_backend::runningUnderWine()
                                                    ? win32_backend::PeerSessionCheck::OwnerlessTable::LetIn
                                                    : win32_backend::PeerSessionCheck::OwnerlessTable::Refuse);
    return check.isOurs({ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port)},
                        {ntohl(own.sin_addr.s_addr), ntohs(own.sin_port)}, why);
}

long sendSome(SocketHandle socket, const void *data, std::size_t size)
{
    const int sent = ::send(raw(socket), static_cast<const char *>(data), clampedLength(size), 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

long receiveSome(SocketHandle socket, void *buffer, std::size_t size)
{
    const int got = ::recv(raw(socket), static_cast<char *>(buffer), clampedLength(size), 0);
    return got == SOCKET_ERROR ? -1 : got;
}

bool sendAll(SocketHandle socket, const void *data, std::size_t size)
{
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const long sent = sendSome(socket, bytes, size);
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool setSendTimeout(SocketHandle socket, int milliseconds)
{
    // Windows takes the time-out as a DWORD of milliseconds, not a timeval.
    const DWORD timeout = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
    return ::setsockopt(raw(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&timeout),
                        sizeof timeout)
           == 0;
}

bool shutdownSocket(SocketHandle socket, Direction direction)
{
    const int how = direction == Direction::Send      ? SD_SEND
                    : direction == Direction::Receive ? SD_RECEIVE
                                                      : SD_BOTH;
    bool done = ::shutdown(raw(socket), how) == 0;
    const int error = done ? 0 : ::WSAGetLastError();
    if (direction != Direction::Send) {
        if (!done && error == WSAENOTCONN && isListening(socket)) {
            std::lock_guard lock(shutListenersMutex);
            shutListeners.insert(socket);
            done = true;
        }
        CancelIoEx(reinterpret_cast<HANDLE>(raw(socket)), nullptr);
    }
    // CancelIoEx leaves its own error behind; the caller asks for ours.
    ::WSASetLastError(error);
    return done;
}

bool closeSocket(SocketHandle socket)
{
    if (socket == InvalidSocket)
        return false;
    {
        std::lock_guard lock(shutListenersMutex);
        shutListeners.erase(socket);
    }
    // Closing also ends an accept or recv that another thread is blocked in.
    return ::closesocket(raw(socket)) == 0;
}

int lastError()
{
    return ::WSAGetLastError();
}

} // namespace platform::net

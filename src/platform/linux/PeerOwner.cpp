// Who is at the other end of a loopback connection: the kernel's socket
// table (sock_diag over netlink) knows the uid that opened each socket. The
// peer's socket is the one whose local end is our remote end; the listener
// we reached is the listening socket on our remote end's port.
#include "platform/Net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <optional>
#include <vector>

namespace platform::net {

namespace {

// The kernel's TCP states (include/net/tcp_states.h).
constexpr std::uint8_t TcpEstablished = 1;
constexpr std::uint8_t TcpCloseWait = 8;
constexpr std::uint8_t TcpListen = 10;

// One end of a TCP connection, as the socket table keys it.
struct Endpoint
{
    int family = AF_INET;
    std::array<std::uint32_t, 4> address{}; // network byte order, as in inet_diag_sockid
    std::uint16_t port = 0;                 // network byte order
    std::string text;
};

// A socket as the table lists it.
struct TableEntry
{
    std::array<std::uint32_t, 4> address{};
    std::uint16_t port = 0;
    std::uint8_t state = 0;
    unsigned uid = 0;
    unsigned inode = 0; // 0: no process holds the socket any more
};

std::optional<Endpoint> endpointOf(int socket, bool peer)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    auto *address = reinterpret_cast<sockaddr *>(&storage);
    if ((peer ? ::getpeername(socket, address, &length) : ::getsockname(socket, address, &length)) != 0)
        return std::nullopt;
    Endpoint end;
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(&storage);
        end.family = AF_INET;
        end.address[0] = in->sin_addr.s_addr;
        end.port = in->sin_port;
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    } else if (storage.ss_family == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&storage);
        end.family = AF_INET6;
        std::memcpy(end.address.data(), &in6->sin6_addr, sizeof in6->sin6_addr);
        end.port = in6->sin6_port;
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    } else {
        return std::nullopt;
    }
    end.text = std::string(text) + ":" + std::to_string(ntohs(end.port));
    return end;
}

// The same end as an IPv6 socket sees it (::ffff:a.b.c.d): a peer that
// connected from an IPv6 socket to our IPv4 port is listed that way.
Endpoint mappedToIpv6(const Endpoint &v4)
{
    Endpoint v6 = v4;
    v6.family = AF_INET6;
    v6.address = {0, 0, htonl(0x0000FFFF), v4.address[0]};
    return v6;
}

TableEntry entryOf(const inet_diag_msg &message)
{
    TableEntry entry;
    std::memcpy(entry.address.data(), message.id.idiag_src, sizeof message.id.idiag_src);
    entry.port = message.id.idiag_sport;
    entry.state = message.idiag_state;
    entry.uid = message.idiag_uid;
    entry.inode = message.idiag_inode;
    return entry;
}

// Asks the socket table; every socket it lists goes to `found`. Nothing, with
// the reason in `error`, when netlink fails. An exact look-up of a socket that
// is not there lists nothing and is no failure.
bool askTable(const inet_diag_req_v2 &request, bool dump, std::vector<TableEntry> &found, std::string &error)
{
    const int netlink = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (netlink < 0) {
        error = std::string("netlink socket: ") + std::strerror(errno);
        return false;
    }
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0);
    query.request = request;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    bool ok = true;
    if (::sendto(netlink, &query, sizeof query, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel)
        != static_cast<ssize_t>(sizeof query)) {
        error = std::string("netlink request: ") + std::strerror(errno);
        ok = false;
    }
    for (bool more = ok; more;) {
        alignas(nlmsghdr) char answer[16384];
        ssize_t length;
        do
            length = ::recv(netlink, answer, sizeof answer, 0);
        while (length < 0 && errno == EINTR);
        if (length <= 0) {
            error = std::string("netlink answer: ") + (length < 0 ? std::strerror(errno) : "empty");
            ok = false;
            break;
        }
        auto remaining = static_cast<unsigned>(length);
        for (auto *message = reinterpret_cast<const nlmsghdr *>(answer); NLMSG_OK(message, remaining);
             message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_type == NLMSG_DONE) {
                more = false;
                break;
            }
            if (message->nlmsg_type == NLMSG_ERROR) {
                const auto *failure = static_cast<const nlmsgerr *>(NLMSG_DATA(message));
                // An exact look-up answers ENOENT for a socket that is gone.
                if (failure->error != 0 && failure->error != -ENOENT) {
                    error = std::string("netlink answer: ") + std::strerror(-failure->error);
                    ok = false;
                }
                more = false;
                break;
            }
            if (message->nlmsg_type == SOCK_DIAG_BY_FAMILY
                && message->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg)))
                found.push_back(entryOf(*static_cast<const inet_diag_msg *>(NLMSG_DATA(message))));
            if (!dump)
                more = false;
        }
    }
    ::close(netlink);
    return ok;
}

// The socket whose local end is `local` and remote end `remote`; nothing
// when the table holds none, or when it cannot be asked (`error` then says
// why).
std::optional<TableEntry> socketAt(const Endpoint &local, const Endpoint &remote, std::string &error)
{
    inet_diag_req_v2 request{};
    request.sdiag_family = static_cast<std::uint8_t>(local.family);
    request.sdiag_protocol = IPPROTO_TCP;
    request.idiag_states = ~0U;
    request.id.idiag_sport = local.port;
    request.id.idiag_dport = remote.port;
    std::memcpy(request.id.idiag_src, local.address.data(), sizeof request.id.idiag_src);
    std::memcpy(request.id.idiag_dst, remote.address.data(), sizeof request.id.idiag_dst);
    request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    std::vector<TableEntry> found;
    if (!askTable(request, false, found, error) || found.empty())
        return std::nullopt;
    return found.front();
}

// The peer's socket, looked up as IPv4 and, failing that, as the IPv6 socket
// a mapped address comes from.
std::optional<TableEntry> peerSocket(const Endpoint &peer, const Endpoint &ours, std::string &error)
{
    std::optional<TableEntry> found = socketAt(peer, ours, error);
    if (!found && error.empty() && peer.family == AF_INET)
        found = socketAt(mappedToIpv6(peer), mappedToIpv6(ours), error);
    return found;
}

bool isOpen(const TableEntry &socket)
{
    return (socket.state == TcpEstablished || socket.state == TcpCloseWait) && socket.inode != 0;
}

std::string stateText(const TableEntry &socket)
{
    return "state " + std::to_string(socket.state) + ", inode " + std::to_string(socket.inode);
}

bool isAnyAddress(const std::array<std::uint32_t, 4> &address)
{
    return address == std::array<std::uint32_t, 4>{};
}

// The listening socket that took a connection to `server`: one on its port,
// bound to its address or to every address (IPv4 or IPv6).
std::optional<TableEntry> listenerFor(const Endpoint &server, std::string &error)
{
    const std::array<std::uint32_t, 4> mapped = mappedToIpv6(server).address;
    std::optional<TableEntry> best;
    for (const int family : {AF_INET, AF_INET6}) {
        inet_diag_req_v2 request{};
        request.sdiag_family = static_cast<std::uint8_t>(family);
        request.sdiag_protocol = IPPROTO_TCP;
        request.idiag_states = 1U << TcpListen;
        std::vector<TableEntry> listeners;
        if (!askTable(request, true, listeners, error))
            return std::nullopt;
        for (const TableEntry &listener : listeners) {
            if (listener.port != server.port)
                continue;
            const bool exact = family == server.family ? listener.address == server.address
                                                       : family == AF_INET6 && listener.address == mapped;
            // A listener on the exact address wins over one on every address,
            // as the kernel's own choice does.
            if (exact)
                return listener;
            if (isAnyAddress(listener.address) && !best)
                best = listener;
        }
    }
    return best;
}

bool ownerIsOurs(unsigned uid)
{
    return uid == ::getuid() || uid == 0;
}

} // namespace

bool peerIsOurs(SocketHandle connection, std::string &why)
{
    const int socket = static_cast<int>(connection);
    const std::optional<Endpoint> ours = endpointOf(socket, false);
    const std::optional<Endpoint> peer = endpointOf(socket, true);
    if (!ours || !peer) {
        why = "the connection's addresses cannot be read (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    std::string error;
    const std::optional<TableEntry> owner = peerSocket(*peer, *ours, error);
    if (!error.empty()) {
        why = "the owner of the peer at " + peer->text + " cannot be looked up (" + error + ")";
        return false;
    }
    if (!owner) {
        why = "no socket of this machine is the peer at " + peer->text;
        return false;
    }
    if (!isOpen(*owner)) {
        // Closed before we looked: the kernel keeps its end without an owner
        // (uid 0), which must not pass for root.
        why = "the peer at " + peer->text + " has already closed its socket (" + stateText(*owner) + ")";
        return false;
    }
    if (ownerIsOurs(owner->uid))
        return true;
    why = "the peer at " + peer->text + " runs as uid " + std::to_string(owner->uid) + ", not "
          + std::to_string(::getuid());
    return false;
}

bool listenerIsOurs(SocketHandle connection, std::string &why)
{
    const int socket = static_cast<int>(connection);
    const std::optional<Endpoint> ours = endpointOf(socket, false);
    const std::optional<Endpoint> server = endpointOf(socket, true);
    if (!ours || !server) {
        why = "the connection's addresses cannot be read (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    std::string error;
    // The accepted end has an owner only once the server has taken it; the
    // listening socket always has one.
    const std::optional<TableEntry> listener = listenerFor(*server, error);
    if (!error.empty()) {
        why = "the listener at " + server->text + " cannot be looked up (" + error + ")";
        return false;
    }
    if (!listener || listener->inode == 0) {
        why = "nothing listens at " + server->text + " any more";
        return false;
    }
    if (!ownerIsOurs(listener->uid)) {
        why = "the listener at " + server->text + " runs as uid " + std::to_string(listener->uid) + ", not "
              + std::to_string(::getuid());
        return false;
    }
    // Once taken, the accepted end must be the same user's too: a listener
    // of ours that has since gone could have been replaced by a stranger's.
    const std::optional<TableEntry> accepted = peerSocket(*server, *ours, error);
    if (!error.empty()) {
        why = "the server's end at " + server->text + " cannot be looked up (" + error + ")";
        return false;
    }
    if (!accepted) {
        why = "the connection to " + server->text + " has ended";
        return false;
    }
    if (accepted->inode != 0 && !ownerIsOurs(accepted->uid)) {
        why = "the server at " + server->text + " runs as uid " + std::to_string(accepted->uid) + ", not "
              + std::to_string(::getuid());
        return false;
    }
    return true;
}

} // namespace platform::net

// Who is at the other end of a loopback connection: the kernel's socket
// table (sock_diag over netlink) knows the uid that opened the peer's
// socket. The peer's socket is the one whose local end is our remote end.
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

namespace platform::net {

namespace {

// One end of a TCP connection, as the socket table keys it.
struct Endpoint
{
    int family = AF_INET;
    std::array<std::uint32_t, 4> address{}; // network byte order, as in inet_diag_sockid
    std::uint16_t port = 0;                 // network byte order
    std::string text;
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

// The uid of the socket whose local end is `local` and remote end `remote`,
// or nothing when the table holds no such socket.
std::optional<uid_t> socketOwner(const Endpoint &local, const Endpoint &remote)
{
    const int netlink = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (netlink < 0)
        return std::nullopt;

    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST;
    query.request.sdiag_family = static_cast<std::uint8_t>(local.family);
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = ~0U;
    query.request.id.idiag_sport = local.port;
    query.request.id.idiag_dport = remote.port;
    std::memcpy(query.request.id.idiag_src, local.address.data(), sizeof query.request.id.idiag_src);
    std::memcpy(query.request.id.idiag_dst, remote.address.data(), sizeof query.request.id.idiag_dst);
    query.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    query.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    std::optional<uid_t> owner;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink, &query, sizeof query, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel) ==
        static_cast<ssize_t>(sizeof query)) {
        alignas(nlmsghdr) char answer[8192];
        ssize_t length;
        do
            length = ::recv(netlink, answer, sizeof answer, 0);
        while (length < 0 && errno == EINTR);
        // An exact look-up answers with one message: the socket, or an error.
        const auto *message = reinterpret_cast<const nlmsghdr *>(answer);
        if (length > 0 && NLMSG_OK(message, static_cast<unsigned>(length)) &&
            message->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
            message->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            const auto *found = static_cast<const inet_diag_msg *>(NLMSG_DATA(message));
            owner = found->idiag_uid;
        }
    }
    ::close(netlink);
    return owner;
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
    std::optional<uid_t> owner = socketOwner(*peer, *ours);
    if (!owner && peer->family == AF_INET)
        owner = socketOwner(mappedToIpv6(*peer), mappedToIpv6(*ours));
    if (!owner) {
        why = "no socket of this machine is the peer at " + peer->text;
        return false;
    }
    const uid_t self = ::getuid();
    if (*owner == self || *owner == 0)
        return true;
    why = "the peer at " + peer->text + " runs as uid " + std::to_string(*owner) + ", not " + std::to_string(self);
    return false;
}

} // namespace platform::net

#pragma once

#include "ChannelAddress.h"

#include "platform/Net.h"

#include <string>

// The socket calls of both channels, whichever kind of address they meet on,
// for the watchdog, the desktop programs, the stand-ins and the tests alike.
// Only the user's own programs meet: each end checks the other before it
// acts on anything (a Unix socket's peer credentials, or the kernel's
// socket table for TCP).
namespace protocol::channel {

using platform::net::InvalidSocket;
using platform::net::SocketHandle;

// A blocking stream socket for the address's kind.
SocketHandle openSocket(const ChannelAddress &address);
// Before bind. TCP: the port can be bound again at once after a restart,
// and nobody else can bind it while we hold it. Nothing to do for a Unix
// socket.
bool prepareListener(SocketHandle socket, const ChannelAddress &address);
// TCP: the loopback address only. A Unix socket: its folder is made for this
// user alone first; a socket file that nobody answers on any more (a crash)
// is replaced; one that another copy still serves is left alone and the
// bind fails. False with the reason in `error`.
bool bind(SocketHandle socket, const ChannelAddress &address, std::string &error);
// A blocking connect (a non-blocking socket fails with errno EINPROGRESS for
// TCP, EAGAIN for a Unix socket whose listener is busy).
bool connect(SocketHandle socket, const ChannelAddress &address);

// socket, prepareListener, bind and listen in one; InvalidSocket with the
// reason in `error` (and lastError() EADDRINUSE when another program holds
// the address).
SocketHandle listen(const ChannelAddress &address, int backlog, std::string &error);

// Closes a listening socket (InvalidSocket: one already closed); a Unix
// socket's file goes with it (removed while we still serve it, so it is ours
// and no newer copy's).
void closeListener(SocketHandle listener, const ChannelAddress &address);

// The server's check of an accepted connection, and the client's check of
// the listener it reached (before it sends anything). False, with a one-line
// reason in `why`, for a peer that is not the user's own or cannot be told.
// `why` may be set on success too: the peer was let in unchecked, and why.
bool peerIsOurs(SocketHandle accepted, const ChannelAddress &address, std::string &why);
bool listenerIsOurs(SocketHandle connected, const ChannelAddress &address, std::string &why);

// The number of the last failed call's error, and its text.
int lastError();
std::string errorText(int error);

} // namespace protocol::channel

#pragma once

#include "platform/Net.h"

#include <optional>
#include <string>

// Unix stream sockets, the channels of one user's own programs on Linux: the
// socket files live in a folder only that user may enter, and the kernel
// tells each end who is at the other (SO_PEERCRED). Linux only; Windows
// meets its peers over loopback TCP.
namespace platform::net {

// The session's runtime folder ($XDG_RUNTIME_DIR), else the user's state
// folder ($XDG_STATE_HOME, ~/.local/state): both are this user's alone.
// Empty when neither is known.
std::string privateBaseFolder();
// Makes the folder (and missing parents) for this user alone (0700), and
// checks that what is there belongs to this user and nobody else may enter
// it. False, with the reason in `why`, otherwise.
bool preparePrivateFolder(const std::string &path, std::string &why);

SocketHandle openLocalSocket();
// False with errno set (EADDRINUSE when a file is at the path already).
bool bindLocal(SocketHandle socket, const std::string &path);
bool connectLocal(SocketHandle socket, const std::string &path);

// Whether a program serves the path: the kernel lists a listener there, or
// a connection to it succeeds; false for a file that nobody serves any more
// (left by a crash) or no file at all.
bool localListenerAnswers(const std::string &path);
// Removes the file at the path when it is a socket; anything else is left.
bool removeSocketFile(const std::string &path);

struct LocalPeer
{
    int pid = 0;
    unsigned uid = 0;
};

// The process at the other end of a connected Unix socket, as the kernel
// recorded it when the connection was made (for a client: the listener).
std::optional<LocalPeer> localPeerOf(SocketHandle socket);

// Whether the other end of a connected Unix socket runs as our user, or as
// root started from our own login (a program started through pkexec keeps
// the login uid of the user who started it). False, with a one-line reason
// in `why`, for anyone else and for a peer that cannot be told.
bool localPeerIsOurs(SocketHandle socket, std::string &why);

} // namespace platform::net

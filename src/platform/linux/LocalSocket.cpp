// Unix stream sockets and their peers' credentials.
#include "platform/LocalSocket.h"

#include "UserFolders.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform::net {

namespace {

int fd(SocketHandle socket)
{
    return static_cast<int>(socket);
}

// False when the path does not fit (errno ENAMETOOLONG).
bool unixAddress(const std::string &path, sockaddr_un &address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::optional<unsigned> loginUidOf(int pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/loginuid");
    long long value = -1;
    if (!(file >> value) || value < 0 || value >= 0xFFFFFFFFLL) // 4294967295: no login
        return std::nullopt;
    return static_cast<unsigned>(value);
}

} // namespace

std::string privateBaseFolder()
{
    const std::string runtime = linux_backend::runtimeFolder();
    return runtime.empty() ? linux_backend::stateFolder() : runtime;
}

bool preparePrivateFolder(const std::string &path, std::string &why)
{
    if (path.empty() || path.front() != '/') {
        why = "no folder of this user's own is known (neither XDG_RUNTIME_DIR nor a home folder)";
        return false;
    }
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            break;
    }
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (folder < 0) {
        why = "cannot open " + path + " (" + std::strerror(errno) + ")";
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(folder, &info) == 0 && info.st_uid == ::geteuid();
    if (!ok)
        why = path + " does not belong to this user";
    else if ((info.st_mode & 077) != 0 && ::fchmod(folder, 0700) != 0) {
        why = "cannot make " + path + " private (" + std::strerror(errno) + ")";
        ok = false;
    }
    ::close(folder);
    return ok;
}

SocketHandle openLocalSocket()
{
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return s < 0 ? InvalidSocket : s;
}

bool bindLocal(SocketHandle socket, const std::string &path)
{
    sockaddr_un address{};
    if (!unixAddress(path, address))
        return false;
    return ::bind(fd(socket), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

bool connectLocal(SocketHandle socket, const std::string &path)
{
    sockaddr_un address{};
    if (!unixAddress(path, address))
        return false;
    for (;;) {
        if (::connect(fd(socket), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool localListenerAnswers(const std::string &path)
{
    // A listener in this network namespace is listed by the kernel with its
    // path: found there, it is asked nothing (a connection would reach the
    // live copy as a client that comes and goes at once).
    std::ifstream table("/proc/net/unix");
    std::string line;
    std::getline(table, line); // the header
    constexpr unsigned long Listening = 0x10000; // __SO_ACCEPTCON
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, references, protocol, flags, type, state, inode, socketPath;
        if (!(fields >> slot >> references >> protocol >> flags >> type >> state >> inode >> socketPath))
            continue;
        if (socketPath == path && (std::strtoul(flags.c_str(), nullptr, 16) & Listening) != 0)
            return true;
    }
    // One of another network namespace is not listed: only a connection
    // tells.
    const SocketHandle probe = openLocalSocket();
    if (probe == InvalidSocket)
        return false;
    const bool answers = connectLocal(probe, path);
    const int error = errno;
    ::close(fd(probe));
    // A full backlog (EAGAIN) is a listener too busy to take us, not a dead one.
    return answers || error == EAGAIN;
}

bool removeSocketFile(const std::string &path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

std::optional<LocalPeer> localPeerOf(SocketHandle socket)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd(socket), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || length != sizeof credentials)
        return std::nullopt;
    return LocalPeer{credentials.pid, credentials.uid};
}

bool localPeerIsOurs(SocketHandle socket, std::string &why)
{
    const std::optional<LocalPeer> peer = localPeerOf(socket);
    if (!peer) {
        why = "the peer's credentials cannot be read (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    const uid_t self = ::getuid();
    if (peer->uid == self)
        return true;
    const std::string who = "the peer (pid " + std::to_string(peer->pid) + ")";
    if (peer->uid == 0) {
        const std::optional<unsigned> login = loginUidOf(peer->pid);
        if (login && *login == self)
            return true;
        why = who + " runs as uid 0 from " + (login ? "the login of uid " + std::to_string(*login) : "no login")
              + ", not " + std::to_string(self);
        return false;
    }
    why = who + " runs as uid " + std::to_string(peer->uid) + ", not " + std::to_string(self);
    return false;
}

} // namespace platform::net

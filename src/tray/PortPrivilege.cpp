#include "PortPrivilege.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

struct Capabilities
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

bool readOwn(Capabilities &capabilities)
{
    return ::syscall(SYS_capget, &capabilities.header, capabilities.data) == 0;
}

bool hasEffective(const Capabilities &capabilities, int capability)
{
    const auto word = static_cast<std::size_t>(capability / 32);
    return word < _LINUX_CAPABILITY_U32S_3 && (capabilities.data[word].effective & (1U << (capability % 32))) != 0;
}

int threadCount()
{
    DIR *tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(tasks))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(tasks);
    return count;
}

int lastCapability()
{
    std::ifstream file("/proc/sys/kernel/cap_last_cap");
    int last = 0;
    return file >> last ? last : 63;
}

QString reason(const char *step)
{
    return QString::fromLatin1(step) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

int listeningSocket(std::uint16_t port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0)
        return -1;
    // As QTcpServer does: a restart finds the port free while old
    // connections are still in TIME_WAIT.
    const int on = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(descriptor, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

} // namespace

bool PortPrivilege::isHeld()
{
    if (::getuid() == 0)
        return false;
    Capabilities own;
    if (!readOwn(own))
        return false;
    for (const auto &set : own.data)
        if (set.permitted != 0 || set.effective != 0 || set.inheritable != 0)
            return true;
    return false;
}

bool PortPrivilege::giveUpInOnlyThread(QString &why)
{
    if (const int threads = threadCount(); threads != 1) {
        why = QStringLiteral("the process has %1 threads, and a drop reaches only one").arg(threads);
        // This thread's, at least; and the process stays undumpable, as the
        // kernel made it, since the other threads keep theirs.
        QString ignored;
        giveUpAll(ignored);
        ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        return false;
    }
    return giveUpAll(why);
}

PortPrivilege::Outcome PortPrivilege::bindThenGiveUp(std::uint16_t port)
{
    Outcome outcome;
    if (threadCount() == 1) {
        outcome.descriptor = listeningSocket(port);
        if (outcome.descriptor < 0)
            outcome.bindError = errno;
    }
    if (!giveUpInOnlyThread(outcome.dropError) && outcome.descriptor >= 0) {
        // A socket is no reason to keep a capability.
        ::close(outcome.descriptor);
        outcome.descriptor = -1;
    }
    return outcome;
}

bool PortPrivilege::giveUpAll(QString &why)
{
    Capabilities own;
    if (!readOwn(own)) {
        why = reason("capget");
        return false;
    }
    // The bounding set shrinks only with cap_setpcap, and must go first,
    // while that is still effective. Without it, no_new_privs below keeps
    // any exec from gaining what the bounding set would still allow.
    if (hasEffective(own, CAP_SETPCAP)) {
        for (int capability = 0; capability <= lastCapability(); ++capability) {
            if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EINVAL) {
                why = reason("PR_CAPBSET_DROP");
                return false;
            }
        }
    }
    Capabilities none; // every set empty
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) {
        why = reason("PR_CAP_AMBIENT_CLEAR_ALL");
        return false;
    }
    if (::syscall(SYS_capset, &none.header, none.data) != 0) {
        why = reason("capset");
        return false;
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        why = reason("PR_SET_NO_NEW_PRIVS");
        return false;
    }
    if (::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0) != 0) {
        why = reason("PR_SET_DUMPABLE");
        return false;
    }
    return true;
}

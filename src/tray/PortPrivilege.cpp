#include "PortPrivilege.h"

#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// True when the process holds capabilities beyond those of its user (never
// for root, who keeps what it has).
bool isHeld()
{
    if (::getuid() == 0)
        return false;
    Capabilities own;
    if (!readOwn(own))
        return false;
    for (const auto &set : own.data)
        if (set.permitted != 0 || set.effective != 0)
            return true;
    return false;
}

} // namespace

bool PortPrivilege::giveUp(QString &why)
{
    if (!isHeld())
        return true;
    Capabilities none; // every set empty
    if (::syscall(SYS_capset, &none.header, none.data) != 0
        || ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0) != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

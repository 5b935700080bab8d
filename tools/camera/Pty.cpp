#include "Pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace camera_standin {

bool Pty::open()
{
    close();
    // Close-on-exec on both ends: a child holding a copy of the master would
    // keep the node from ever hanging up.
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return false;
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        close();
        return false;
    }
    slave = name;
    keeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    // Raw: no line buffering, no echo, every byte passes as it is.
    termios settings{};
    if (keeper < 0 || ::tcgetattr(keeper, &settings) != 0) {
        close();
        return false;
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(keeper, TCSANOW, &settings) != 0
        || ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        close();
        return false;
    }
    return true;
}

void Pty::close()
{
    if (master >= 0)
        ::close(master);
    if (keeper >= 0)
        ::close(keeper);
    master = keeper = -1;
}

bool Pty::ring()
{
    const char bell = 1;
    return master >= 0 && ::write(master, &bell, 1) == 1;
}

std::size_t Pty::takeBack(std::size_t count)
{
    std::size_t taken = 0;
    while (keeper >= 0 && taken < count) {
        char bytes[64];
        const ssize_t got = ::read(keeper, bytes, std::min(count - taken, sizeof bytes));
        if (got <= 0)
            break;
        taken += static_cast<std::size_t>(got);
    }
    return taken;
}

} // namespace camera_standin

#include "FileInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::linux_backend {

namespace {

std::string lockPathFor(const std::string &name)
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/')
        return std::string(runtime) + "/" + name;
    return "/tmp/" + name + "-" + std::to_string(::getuid());
}

} // namespace

FileInstanceLock::FileInstanceLock(const std::string &name)
    : lockPath(lockPathFor(name))
{
}

FileInstanceLock::~FileInstanceLock()
{
    release();
}

InstanceLock::Outcome FileInstanceLock::acquire()
{
    if (descriptor >= 0)
        return Outcome::Acquired;
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Outcome::Failed;
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Outcome::AlreadyHeld : Outcome::Failed;
    }
    descriptor = fd;
    return Outcome::Acquired;
}

void FileInstanceLock::release()
{
    if (descriptor < 0)
        return;
    ::close(descriptor);
    descriptor = -1;
}

} // namespace platform::linux_backend

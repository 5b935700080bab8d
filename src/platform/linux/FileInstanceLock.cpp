#include "FileInstanceLock.h"

#include "LinuxLog.h"
#include "UserFolders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform::linux_backend {

namespace {

// Creates the missing folders of the path, each for this user alone. What
// cannot be created shows when the folder is opened.
void createFolders(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            return;
    }
}

} // namespace

FileInstanceLock::FileInstanceLock(const std::string &name)
    : lockName(name)
{
    // The session's runtime folder is private to the user by definition.
    // Without one, a folder in /tmp would let any other local user take
    // the lock first and keep this user's watchdog from ever running.
    folder = runtimeFolder();
    if (folder.empty()) {
        folder = stateFolder();
        createFolder = true;
    }
    if (!folder.empty())
        lockPath = folder + "/" + name;
}

FileInstanceLock::~FileInstanceLock()
{
    release();
}

InstanceLock::Outcome FileInstanceLock::acquire()
{
    if (descriptor >= 0)
        return Outcome::Acquired;
    if (folder.empty()) {
        qCWarning(linuxPlatformLog) << "single-instance lock: neither XDG_RUNTIME_DIR nor a home folder is set";
        return Outcome::Failed;
    }
    if (createFolder)
        createFolders(folder);

    // Everything below goes through the opened folder, so the checked folder
    // is the one the lock file is made in.
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        qCWarning(linuxPlatformLog) << "single-instance lock: cannot open" << folder.c_str() << std::strerror(errno);
        return Outcome::Failed;
    }
    struct stat info {};
    if (::fstat(directory, &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH))) {
        qCWarning(linuxPlatformLog) << "single-instance lock: refusing" << folder.c_str()
                                    << "- it must belong to this user and be writable by nobody else";
        ::close(directory);
        return Outcome::Failed;
    }
    const int fd = ::openat(directory, lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    const int openError = errno;
    ::close(directory);
    if (fd < 0) {
        qCWarning(linuxPlatformLog) << "single-instance lock: cannot open" << lockPath.c_str() << std::strerror(openError);
        return Outcome::Failed;
    }
    // A lock file that someone else made could be held by them at will.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        qCWarning(linuxPlatformLog) << "single-instance lock: refusing" << lockPath.c_str()
                                    << "- it is not a file of this user";
        ::close(fd);
        return Outcome::Failed;
    }
    // flock needs no more than read access: nobody else may open the file.
    if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0) {
        qCWarning(linuxPlatformLog) << "single-instance lock: cannot make" << lockPath.c_str() << "private"
                                    << std::strerror(errno);
        ::close(fd);
        return Outcome::Failed;
    }

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

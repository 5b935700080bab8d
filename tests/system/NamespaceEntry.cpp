#include "NamespaceEntry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char *const InsideMarker = "TESSEL_SYSTEM_TEST_NAMESPACE";

// Re-runs this program under unshare; returns only if that is impossible.
void reenterUnderUnshare(int argc, char **argv)
{
    ::setenv(InsideMarker, "1", 1);
    std::vector<const char *> args{"unshare"};
    if (::getuid() != 0)
        args.push_back("--map-root-user"); // a user namespace of our own
    for (const char *arg : {"--net", "--pid", "--fork", "--mount-proc", "--kill-child"})
        args.push_back(arg);
    // Our own path, read now: under unshare /proc/self/exe is unshare.
    static char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return;
    self[length] = '\0';
    args.push_back("--");
    args.push_back(self);
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execvp("unshare", const_cast<char *const *>(args.data()));
    std::perror("unshare");
}

// As process 1 of the namespace: bring loopback up, run the program's work
// in a child, and reap every orphan (detached watchdog copies) until it ends.
int superviseNamespace()
{
    if (std::system("ip link set lo up") != 0) {
        std::fprintf(stderr, "cannot bring the loopback interface up\n");
        return 1;
    }
    const pid_t work = ::fork();
    if (work <= 0)
        return work == 0 ? -1 : 1;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(-1, &status, 0);
        if (ended < 0 && errno != EINTR)
            return 1;
        if (ended == work)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
}

} // namespace

int enterPrivateNamespaces(int argc, char **argv)
{
    if (!std::getenv(InsideMarker)) {
        reenterUnderUnshare(argc, argv);
        return 1;
    }
    if (::getpid() == 1)
        return superviseNamespace();
    return -1;
}

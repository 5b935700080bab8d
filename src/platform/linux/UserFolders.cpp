#include "UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace platform::linux_backend {

namespace {

bool isAbsolute(const char *path)
{
    return path && *path == '/';
}

} // namespace

std::string runtimeFolder()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    return isAbsolute(runtime) ? runtime : std::string();
}

std::string stateFolder()
{
    const char *state = std::getenv("XDG_STATE_HOME");
    if (isAbsolute(state))
        return state;
    const char *home = std::getenv("HOME");
    if (!isAbsolute(home)) {
        const passwd *user = ::getpwuid(::geteuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!isAbsolute(home))
        return {};
    return std::string(home) + "/.local/state";
}

} // namespace platform::linux_backend

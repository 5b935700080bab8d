#include "platform/FileSystem.h"

#include <sys/stat.h>

namespace platform {

bool pathExists(const std::string &path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

} // namespace platform

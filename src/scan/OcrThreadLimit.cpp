#include "OcrThreadLimit.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace scan::OcrThreadLimit {

namespace {
constexpr const char *kVariable = "OMP_THREAD_LIMIT";
}

bool startedWithOneThread()
{
    const char *value = std::getenv(kVariable);
    return value && std::strcmp(value, "1") == 0;
}

void restartWithOneThreadIfNeeded(char **argv)
{
    if (startedWithOneThread())
        return;
    ::setenv(kVariable, "1", 1);
    ::execv("/proc/self/exe", argv);
    std::fprintf(stderr, "Could not restart with %s=1 (%s): recognition will be slow\n", kVariable,
                 std::strerror(errno));
}

int effectiveLimit()
{
    using Query = int (*)();
    const auto query = reinterpret_cast<Query>(::dlsym(RTLD_DEFAULT, "omp_get_thread_limit"));
    return query ? query() : 0;
}

} // namespace scan::OcrThreadLimit

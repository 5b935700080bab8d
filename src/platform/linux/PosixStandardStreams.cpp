#include "platform/StandardStreams.h"

#include <unistd.h>

namespace platform {

void useBinaryStandardStreams()
{
    // POSIX streams never translate line ends.
}

bool isTerminal(StandardStream stream)
{
    return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

} // namespace platform

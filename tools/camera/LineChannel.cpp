#include "LineChannel.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace camera_standin {

namespace {
// A line longer than this is no command; it is cut rather than kept growing.
constexpr std::size_t MaxLine = 64 * 1024;
} // namespace

LineChannel::LineChannel(int fd, bool ownsFd)
    : descriptor(fd), owns(ownsFd)
{
}

LineChannel::~LineChannel()
{
    close();
}

LineChannel::LineChannel(LineChannel &&other) noexcept
    : descriptor(std::exchange(other.descriptor, -1)), owns(other.owns), pending(std::move(other.pending))
{
}

LineChannel &LineChannel::operator=(LineChannel &&other) noexcept
{
    if (this != &other) {
        close();
        descriptor = std::exchange(other.descriptor, -1);
        owns = other.owns;
        pending = std::move(other.pending);
    }
    return *this;
}

LineChannel::State LineChannel::readLines(std::vector<std::string> &lines)
{
    // One read a call: the caller polls first, and standard input stays
    // blocking (making it non-blocking would change the terminal for the
    // shell too).
    char chunk[4096];
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0)
        return (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) ? State::Open : State::Failed;
    if (got == 0) {
        if (!pending.empty())
            lines.push_back(std::exchange(pending, {}));
        return State::EndOfFile;
    }
    for (ssize_t i = 0; i < got; ++i) {
        if (chunk[i] == '\n') {
            lines.push_back(std::exchange(pending, {}));
        } else if (pending.size() < MaxLine) {
            pending += chunk[i];
        }
    }
    return State::Open;
}

void LineChannel::close()
{
    if (descriptor >= 0 && owns)
        ::close(descriptor);
    descriptor = -1;
    pending.clear();
}

} // namespace camera_standin

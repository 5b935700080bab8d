#include "Console.h"

#include "platform/StandardStreams.h"

#include <cstdio>

namespace updater {

void StandardConsole::out(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void StandardConsole::err(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void StandardConsole::flushOut()
{
    std::fflush(stdout);
}

bool StandardConsole::watchedOnTerminal() const
{
    return platform::isTerminal(platform::StandardStream::Output)
           && platform::isTerminal(platform::StandardStream::Error);
}

} // namespace updater

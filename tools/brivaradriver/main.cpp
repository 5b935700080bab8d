// brivaradriver: the driver tray program's stand-in. See --help or
// tools/README.md.
#include "CommandInput.h"
#include "DriverHelp.h"
#include "DriverStandIn.h"
#include "ChannelTarget.h"
#include "EventLog.h"
#include "EventLoop.h"
#include "Options.h"
#include "ProgramExit.h"
#include "SignalWatcher.h"
#include "Text.h"
#include "protocol/ServicePorts.h"

#include <cstdio>

namespace {

constexpr int CannotListen = 1;
constexpr int BadOptions = 2;

int usageError(const std::string &message)
{
    std::fprintf(stderr, "brivaradriver: %s (see brivaradriver --help)\n", message.c_str());
    return BadOptions;
}

} // namespace

int main(int argc, char **argv)
{
    keepStandardDescriptorsOpen();
    EventLog log("brivaradriver");
    ChannelChoice choice;
    std::string controlPath;
    std::string outputPath;
    bool keepRunning = false;

    Options options("BRIVARADRIVER_OPTIONS", argc, argv);
    while (!options.atEnd()) {
        const std::string name = options.nextName();
        if (name == "--help" || name == "-h") {
            std::fputs(DriverHelp::usage, stdout);
            return 0;
        }
        if (name == "--keep-running") {
            keepRunning = true;
        } else if (name == "--host") {
            const auto value = options.value();
            if (!value || value->empty())
                return usageError("--host needs an address");
            choice.host = *value;
        } else if (name == "--port") {
            const auto value = options.value();
            const auto number = value ? text::parseInteger(*value) : std::nullopt;
            if (!number || *number < 0 || *number > 65535)
                return usageError("--port needs a number from 0 to 65535");
            choice.port = static_cast<std::uint16_t>(*number);
        } else if (name == "--socket") {
            const auto value = options.value();
            if (!value || value->empty())
                return usageError("--socket needs a path");
            choice.socketPath = *value;
        } else if (name == "--control" || name == "--output") {
            const auto value = options.value();
            if (!value || value->empty())
                return usageError(name + " needs a path");
            (name == "--control" ? controlPath : outputPath) = *value;
        } else {
            return usageError("unknown option " + text::quoted(name));
        }
    }

    std::string error;
    if (!outputPath.empty() && !log.appendTo(outputPath, error))
        return usageError("cannot open " + outputPath + ": " + error);
    const auto target = chooseChannel(choice, protocol::driverChannel(), ServicePorts::DriverPort, error);
    if (!target)
        return usageError(error);

    EventLoop loop;
    DriverStandIn *standIn = nullptr;
    CommandInput input(
        loop, log, [&standIn](const std::string &line) { standIn->runCommand(line); },
        [&] {
            if (keepRunning)
                log.line("input stdin-closed keep-running=yes");
            else
                standIn->endProgram(0, "stdin-closed");
        });
    ProgramExit exit(loop, log, input);
    DriverStandIn driver(loop, log, exit);
    standIn = &driver;
    SignalWatcher signals(loop, [&driver](int signalNumber) { driver.endProgram(0, signalName(signalNumber)); });

    // The FIFO exists before the "listening" line, so a script that waits
    // for that line can write to it at once.
    if (!controlPath.empty() && !input.openControlFifo(controlPath))
        return BadOptions;
    if (!driver.listen(*target))
        return CannotListen;
    input.readStdin();
    loop.run();
    return exit.exitCode();
}

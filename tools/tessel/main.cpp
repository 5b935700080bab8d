// tessel: the viewer stand-in. See --help or tools/README.md.
#include "CommandInput.h"
#include "ChannelTarget.h"
#include "EventLog.h"
#include "EventLoop.h"
#include "Options.h"
#include "ProgramExit.h"
#include "SignalWatcher.h"
#include "Text.h"
#include "protocol/ServicePorts.h"
#include "ViewerHelp.h"
#include "ViewerStandIn.h"

#include <cstdio>
#include <limits>

namespace {

constexpr int BadOptions = 2;

int usageError(const std::string &message)
{
    std::fprintf(stderr, "tessel: %s (see tessel --help)\n", message.c_str());
    return BadOptions;
}

std::optional<std::int64_t> parseRange(const std::optional<std::string> &word, std::int64_t low, std::int64_t high)
{
    if (!word)
        return std::nullopt;
    const auto value = text::parseInteger(*word);
    if (!value || *value < low || *value > high)
        return std::nullopt;
    return value;
}

std::optional<std::vector<std::int32_t>> parseCodeList(const std::string &list)
{
    std::string spaced = list;
    for (char &c : spaced) {
        if (c == ',')
            c = ' ';
    }
    std::vector<std::int32_t> codes;
    for (const std::string &word : text::splitWords(spaced)) {
        const auto code = text::parseInt32(word);
        if (!code)
            return std::nullopt;
        codes.push_back(*code);
    }
    return codes;
}

} // namespace

int main(int argc, char **argv)
{
    keepStandardDescriptorsOpen();
    EventLog log("tessel");
    ViewerSettings settings;
    ChannelChoice choice;
    std::string controlPath;
    std::string outputPath;
    bool keepRunning = false;
    constexpr std::int64_t maxMs = std::numeric_limits<std::int32_t>::max();

    Options options("TESSEL_OPTIONS", argc, argv);
    while (!options.atEnd()) {
        const std::string name = options.nextName();
        if (name == "--help" || name == "-h") {
            std::fputs(ViewerHelp::usage, stdout);
            return 0;
        }
        if (name == "--stay-on") {
            settings.stayOn = true;
        } else if (name == "--silent") {
            settings.silent = true;
        } else if (name == "--keep-running") {
            keepRunning = true;
        } else if (name == "--host") {
            const auto value = options.value();
            if (!value || value->empty())
                return usageError("--host needs an address");
            choice.host = *value;
        } else if (name == "--port") {
            const auto value = parseRange(options.value(), 1, 65535);
            if (!value)
                return usageError("--port needs a number from 1 to 65535");
            choice.port = static_cast<std::uint16_t>(*value);
        } else if (name == "--socket") {
            const auto value = options.value();
            if (!value || value->empty())
                return usageError("--socket needs a path");
            choice.socketPath = *value;
        } else if (name == "--connect-timeout" || name == "--exit-wait") {
            const auto value = parseRange(options.value(), 0, maxMs);
            if (!value)
                return usageError(name + " needs milliseconds");
            (name == "--exit-wait" ? settings.exitWait : settings.connectTimeout) = std::chrono::milliseconds(*value);
        } else if (name == "--exit-after") {
            const auto value = parseRange(options.value(), 1, std::numeric_limits<int>::max());
            if (!value)
                return usageError("--exit-after needs a positive number of records");
            settings.exitAfter = static_cast<int>(*value);
        } else if (name == "--requests") {
            const auto value = options.value();
            const auto codes = value ? parseCodeList(*value) : std::nullopt;
            if (!codes)
                return usageError("--requests needs codes such as 563,564");
            settings.initialRequests = *codes;
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
    const auto target = chooseChannel(choice, protocol::viewerChannel(), ServicePorts::ViewerPort, error);
    if (!target)
        return usageError(error);
    settings.target = *target;

    EventLoop loop;
    ViewerStandIn *standIn = nullptr;
    CommandInput input(
        loop, log, [&standIn](const std::string &line) { standIn->runCommand(line); },
        [&] {
            if (keepRunning)
                log.line("input stdin-closed keep-running=yes");
            else
                standIn->endProgram(0, "stdin-closed");
        });
    ProgramExit exit(loop, log, input);
    ViewerStandIn viewer(loop, log, input, exit, settings);
    standIn = &viewer;
    SignalWatcher signals(loop, [&viewer](int signalNumber) { viewer.endProgram(0, signalName(signalNumber)); });

    // The FIFO exists before the "connecting" line, so a script that waits
    // for that line can write to it at once.
    if (!controlPath.empty() && !input.openControlFifo(controlPath))
        return BadOptions;
    input.readStdin();
    viewer.start();
    loop.run();
    return exit.exitCode();
}

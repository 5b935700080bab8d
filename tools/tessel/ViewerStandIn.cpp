#include "ViewerStandIn.h"

#include "CommandInput.h"
#include "EventLog.h"
#include "ProgramExit.h"
#include "RecordText.h"
#include "Text.h"
#include "ViewerHelp.h"
#include "protocol/WatchdogCommand.h"

#include <cstring>

namespace {

constexpr auto RetryInterval = std::chrono::milliseconds(100);
constexpr std::int32_t DefaultHalfCommand = LED_STATUS;

std::string describeEnd(StreamConnection::End end, int error)
{
    switch (end) {
    case StreamConnection::End::PeerClosed:
        return "peer-closed";
    case StreamConnection::End::Failed:
        return "error error=" + text::quoted(std::strerror(error));
    case StreamConnection::End::Finished:
        return "closed-by-us";
    }
    return "unknown";
}

std::optional<std::uint8_t> parseState(const std::string &word)
{
    const auto value = text::parseInteger(word);
    if (!value || *value < 0 || *value > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

} // namespace

ViewerStandIn::ViewerStandIn(EventLoop &eventLoop, EventLog &eventLog, CommandInput &commandInput,
                             ProgramExit &programExit, ViewerSettings viewerSettings)
    : loop(eventLoop),
      log(eventLog),
      input(commandInput),
      exit(programExit),
      settings(std::move(viewerSettings)),
      connector(eventLoop, settings.target, RetryInterval)
{
}

ViewerStandIn::~ViewerStandIn()
{
    loop.cancel(exitWaitTimer);
}

void ViewerStandIn::start()
{
    connect(true);
}

bool ViewerStandIn::isConnected() const
{
    return connection && connection->isOpen();
}

void ViewerStandIn::connect(bool firstTime)
{
    log.line("connecting to=", settings.target.text, " timeout=", settings.connectTimeout.count(), "ms");
    input.pause();
    connector.start(
        settings.connectTimeout, [this](int socketFd) { connected(socketFd); },
        [this, firstTime](int error) {
            log.line("connect-failed to=", settings.target.text, " error=", text::quoted(std::strerror(error)));
            if (firstTime)
                endProgram(1, "never-connected");
            else
                input.resume();
        },
        [this](const std::string &why) {
            log.line("connect-refused to=", settings.target.text, " reason=", text::quoted(why));
        });
}

void ViewerStandIn::connected(int socketFd)
{
    assembler.reset();
    connection = std::make_unique<StreamConnection>(
        loop, socketFd, [this](const std::uint8_t *data, std::size_t size) { received(data, size); },
        [this](StreamConnection::End end, int error) { connectionEnded(end, error); });
    log.line("connected to=", settings.target.text);
    for (const std::int32_t code : settings.initialRequests)
        sendRecord(1, code, 0);
    input.resume();
}

void ViewerStandIn::received(const std::uint8_t *data, std::size_t size)
{
    for (const WatchdogMessage::Bytes &bytes : assembler.feed(data, size)) {
        if (exit.requested() || !isConnected())
            return;
        handleRecord(WatchdogMessage::decode(bytes));
    }
}

void ViewerStandIn::handleRecord(const WatchdogMessage &message)
{
    log.line("received ", record_text::describe(message));
    for (const std::string &device : record_text::describeDevices(message))
        log.line(device);
    ++recordsReceived;

    if (message.request == 1) {
        if (settings.silent)
            log.line("unanswered command=", message.command, " ", record_text::commandName(message.command),
                     " reason=silent");
        else
            sendRecord(0, message.command, 0);
        if (message.command == VIEWER_ON_OFF && !settings.stayOn) {
            // The watchdog asks the viewer to turn off: it goes, as a viewer
            // would; its connection closes as the program ends.
            endProgram(0, "turned-off-by-watchdog");
            return;
        }
    } else if (announcingExit && message.command == VIEWER_ON_OFF) {
        finishExitAnnouncement("answered");
        return;
    }

    if (settings.exitAfter > 0 && recordsReceived >= settings.exitAfter)
        endProgram(0, "exit-after");
}

void ViewerStandIn::connectionEnded(StreamConnection::End end, int error)
{
    log.line("disconnected reason=", describeEnd(end, error), " partial=", assembler.partialBytes());
    assembler.reset();
    if (announcingExit)
        finishExitAnnouncement("closed");
}

void ViewerStandIn::sendRecord(std::int32_t request, std::int32_t command, std::uint8_t state)
{
    WatchdogMessage message;
    message.request = request;
    message.command = command;
    message.state = state;
    const WatchdogMessage::Bytes bytes = message.encode();
    connection->write({bytes.begin(), bytes.end()});
    log.line("sent ", record_text::summary(request, command, state));
}

void ViewerStandIn::sendHalf(std::int32_t command)
{
    WatchdogMessage message;
    message.request = 1;
    message.command = command;
    const WatchdogMessage::Bytes bytes = message.encode();
    constexpr std::size_t half = WatchdogMessage::Size / 2;
    connection->write({bytes.begin(), bytes.begin() + half});
    connection->closeAfterWriting();
    log.line("sent-half ", record_text::summary(1, command, 0), " bytes=", half, " of=", WatchdogMessage::Size);
}

void ViewerStandIn::closeConnection(const std::string &reason)
{
    connection->close();
    log.line("disconnected reason=", reason, " partial=", assembler.partialBytes());
    assembler.reset();
}

void ViewerStandIn::endProgram(int code, const std::string &reason)
{
    connector.cancel();
    exit.request(code, reason, [this] { return connection && connection->hasPendingWrites(); });
}

void ViewerStandIn::beginExitAnnouncement()
{
    if (!isConnected()) {
        endProgram(0, "exit-command");
        return;
    }
    // The way a closing viewer says goodbye: VIEWER_ON_OFF, a short wait for
    // the watchdog's answer, then the connection closes.
    input.pause();
    announcingExit = true;
    sendRecord(1, VIEWER_ON_OFF, 0);
    exitWaitTimer = loop.after(settings.exitWait, [this] {
        exitWaitTimer = 0;
        log.line("no-answer command=", static_cast<int>(VIEWER_ON_OFF), " waited=", settings.exitWait.count(), "ms");
        finishExitAnnouncement("timeout");
    });
}

void ViewerStandIn::finishExitAnnouncement(const std::string &how)
{
    announcingExit = false;
    loop.cancel(exitWaitTimer);
    exitWaitTimer = 0;
    if (isConnected())
        closeConnection("closed-by-us");
    endProgram(0, "exit-command answer=" + how);
}

void ViewerStandIn::runCommand(const std::string &line)
{
    const Words words = text::splitWords(line);
    if (words.empty() || words[0].starts_with('#'))
        return;
    const std::string &name = words[0];

    if (name == "quit") {
        endProgram(0, "quit");
    } else if (name == "help") {
        log.line("help ", ViewerHelp::commandSummary);
    } else if (name == "status") {
        printStatus();
    } else if (name == "silent") {
        commandSilent(words);
    } else if (name == "connect") {
        if (isConnected())
            log.line("error connect: already connected");
        else
            connect(false);
    } else if (!isConnected() && name != "exit"
               && (name == "request" || name == "response" || name == "raw" || name == "half"
                   || name == "close")) {
        log.line("error ", name, ": not connected");
    } else if (name == "request") {
        commandRecord(words, 1);
    } else if (name == "response") {
        commandRecord(words, 0);
    } else if (name == "raw") {
        commandRaw(words);
    } else if (name == "half") {
        commandHalf(words);
    } else if (name == "close") {
        closeConnection("closed-by-us");
    } else if (name == "exit") {
        beginExitAnnouncement();
    } else {
        log.line("error unknown command ", text::quoted(name), " (try help)");
    }
}

void ViewerStandIn::commandRecord(const Words &words, std::int32_t request)
{
    const auto command = words.size() >= 2 ? text::parseInt32(words[1]) : std::nullopt;
    const auto state = words.size() >= 3 ? parseState(words[2]) : std::optional<std::uint8_t>(0);
    if (!command || !state || words.size() > 3) {
        log.line("error usage: ", words[0], " <code> [state 0..255]");
        return;
    }
    sendRecord(request, *command, *state);
}

void ViewerStandIn::commandRaw(const Words &words)
{
    std::string hex;
    for (std::size_t i = 1; i < words.size(); ++i)
        hex += words[i];
    const auto bytes = text::parseHex(hex);
    if (!bytes || bytes->empty()) {
        log.line("error usage: raw <hex bytes>, e.g. raw 01000000 5d000000");
        return;
    }
    const std::size_t count = bytes->size();
    connection->write(std::move(*bytes));
    log.line("sent-raw bytes=", count);
}

void ViewerStandIn::commandHalf(const Words &words)
{
    const auto command = words.size() >= 2 ? text::parseInt32(words[1]) : std::optional(DefaultHalfCommand);
    if (!command || words.size() > 2) {
        log.line("error usage: half [code]");
        return;
    }
    sendHalf(*command);
}

void ViewerStandIn::commandSilent(const Words &words)
{
    if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) {
        log.line("error usage: silent on|off");
        return;
    }
    settings.silent = words[1] == "on";
    log.line("silent ", words[1]);
}

void ViewerStandIn::printStatus()
{
    log.line("status connected=", isConnected() ? "yes" : "no", " silent=", settings.silent ? "on" : "off",
             " stayOn=", settings.stayOn ? "yes" : "no", " received=", recordsReceived,
             " partial=", assembler.partialBytes());
}

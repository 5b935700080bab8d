#include "DriverStandIn.h"

#include "DriverHelp.h"
#include "Endpoint.h"
#include "EventLog.h"
#include "ProgramExit.h"
#include "RequestText.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace {

// Enough for any test of oversized messages, small enough to stay harmless.
constexpr std::int64_t MaxExtraBytesSent = 16 * 1024 * 1024;

const char *modeName(DriverStandIn::AnswerMode mode)
{
    switch (mode) {
    case DriverStandIn::AnswerMode::Normal:
        return "normal";
    case DriverStandIn::AnswerMode::Late:
        return "late";
    case DriverStandIn::AnswerMode::Reject:
        return "reject";
    case DriverStandIn::AnswerMode::Silent:
        return "silent";
    }
    return "?";
}

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

} // namespace

DriverStandIn::DriverStandIn(EventLoop &eventLoop, EventLog &eventLog, ProgramExit &programExit)
    : loop(eventLoop),
      log(eventLog),
      exit(programExit),
      listener(
          eventLoop, [this](int socketFd) { accepted(socketFd); },
          [this](const std::string &why) { log.line("refused reason=", text::quoted(why)); }),
      writer(eventLog)
{
}

bool DriverStandIn::listen(const ChannelTarget &target)
{
    std::string error;
    if (!listener.listen(target, error)) {
        log.line("error cannot listen on ", target.text, ": ", error);
        return false;
    }
    if (target.isLocal()) {
        log.line("listening on=", target.text);
        return true;
    }
    sockaddr_in bound = target.tcp;
    bound.sin_port = htons(listener.port());
    log.line("listening on=", endpoint::describe(bound), " port=", listener.port());
    return true;
}

bool DriverStandIn::isConnected() const
{
    return connection && connection->isOpen();
}

void DriverStandIn::accepted(int socketFd)
{
    if (exit.requested()) {
        ::close(socketFd);
        return;
    }
    if (isConnected()) {
        // One watchdog at a time: the newer connection wins.
        connection->close();
        loseClient("replaced");
    }
    ++connectionNumber;
    parser = RequestStreamParser{};
    peer = endpoint::describePeer(socketFd).value_or("local");
    connection = std::make_unique<StreamConnection>(
        loop, socketFd, [this](const std::uint8_t *data, std::size_t size) { received(data, size); },
        [this](StreamConnection::End end, int error) { connectionEnded(end, error); });
    log.line("accepted peer=", peer);
}

void DriverStandIn::received(const std::uint8_t *data, std::size_t size)
{
    const RequestStreamParser::Result result = parser.feed(data, size);
    for (const auto &message : result.messages) {
        if (!isConnected() || exit.requested())
            return;
        handleRequest(message);
    }
    if (result.badHeader && isConnected()) {
        const std::int32_t length = result.badHeader->length;
        log.line("protocol-error type=", result.badHeader->type, " length=", length, " reason=",
                 length < 0 ? "negative-length"
                            : "length-over-limit limit=" + std::to_string(RequestStreamParser::MaxLength));
        connection->close();
        loseClient("protocol-error");
    }
}

void DriverStandIn::handleRequest(const RequestStreamParser::Message &message)
{
    const RequestHandler::Outcome outcome = handler.handle(message, mode == AnswerMode::Reject);
    log.line("request ", describeRequest(message, outcome));
    if (!outcome.answer)
        return;
    if (mode == AnswerMode::Silent) {
        log.line("unanswered value=", *outcome.answer, " reason=silent");
        return;
    }
    if (mode == AnswerMode::Late) {
        log.line("answer-delayed value=", *outcome.answer, " delay=", lateDelay.count(), "ms");
        loop.after(lateDelay, [this, value = *outcome.answer, number = connectionNumber] {
            if (number != connectionNumber || !isConnected() || exit.requested()) {
                log.line("late-answer-dropped value=", value, " reason=connection-gone");
                return;
            }
            answer(value);
        });
        return;
    }
    answer(*outcome.answer);
}

void DriverStandIn::answer(std::int32_t value)
{
    sendMessage(REQUEST_RESULT, value);
}

void DriverStandIn::sendMessage(std::int32_t type, std::int32_t value, std::int32_t length,
                                const std::vector<std::uint8_t> &extra)
{
    writer.send(*connection, ResponseHeader{type, value, length}, extra);
}

void DriverStandIn::connectionEnded(StreamConnection::End end, int error)
{
    loseClient(describeEnd(end, error));
}

void DriverStandIn::loseClient(const std::string &reason)
{
    log.line("disconnected reason=", reason, " partial=", parser.partialBytes());
    if (!registry.menuItems().empty() || !registry.buttons().empty())
        log.line("forgot menuItems=", registry.menuItems().size(), " buttons=", registry.buttons().size());
    registry.forgetClientState();
    writer.dropHeld();
    parser = RequestStreamParser{};
    peer = "-";
}

void DriverStandIn::endProgram(int code, const std::string &reason)
{
    exit.request(code, reason, [this] { return connection && connection->hasPendingWrites(); });
}

void DriverStandIn::runCommand(const std::string &line)
{
    const Words words = text::splitWords(line);
    if (words.empty() || words[0].starts_with('#'))
        return;
    const std::string &name = words[0];

    if (name == "quit") {
        endProgram(0, "quit");
    } else if (name == "help") {
        log.line("help ", DriverHelp::commandSummary);
    } else if (name == "status") {
        printStatus();
    } else if (name == "mode") {
        commandMode(words);
    } else if (name == "split") {
        writer.splitNext();
        log.line("split armed");
    } else if (name == "glue") {
        writer.glueNext();
        log.line("glue armed");
    } else if (name == "exit") {
        commandExit();
    } else if (!isConnected()
               && (name == "click" || name == "oem" || name == "send" || name == "raw" || name == "drop")) {
        log.line("error ", name, ": not connected");
    } else if (name == "click") {
        commandClick(words);
    } else if (name == "oem") {
        commandOem(words);
    } else if (name == "send") {
        commandSend(words);
    } else if (name == "raw") {
        commandRaw(words);
    } else if (name == "drop") {
        connection->close();
        loseClient("dropped-by-us");
    } else {
        log.line("error unknown command ", text::quoted(name), " (try help)");
    }
}

void DriverStandIn::commandClick(const Words &words)
{
    std::optional<std::int32_t> itemId;
    if (words.size() == 2)
        itemId = text::parseInt32(words[1]);
    else if (words.size() == 1 && registry.newestItem() != nullptr)
        itemId = registry.newestItem()->id;
    if (!itemId || words.size() > 2) {
        log.line(words.size() == 1 ? "error click: no menu item held; give an id: click <id>"
                                   : "error usage: click [item-id]");
        return;
    }
    sendMessage(MENU_ITEM_CLICKED, *itemId);
}

void DriverStandIn::commandOem(const Words &words)
{
    const auto buttonId = words.size() == 2 ? text::parseInt32(words[1]) : std::nullopt;
    if (!buttonId) {
        log.line("error usage: oem <button-id>");
        return;
    }
    sendMessage(OEM_BUTTON_PRESSED, *buttonId);
}

void DriverStandIn::commandExit()
{
    if (isConnected()) {
        // The tray program says goodbye and goes: the message, then the close.
        sendMessage(DRIVER_EXIT, 0);
        writer.flushHeld(*connection);
        connection->closeAfterWriting();
    }
    endProgram(0, "exit-command");
}

void DriverStandIn::commandMode(const Words &words)
{
    const std::string which = words.size() >= 2 ? words[1] : "";
    if (which == "late" && words.size() == 3) {
        const auto delay = text::parseInteger(words[2]);
        if (delay && *delay >= 0 && *delay <= std::numeric_limits<std::int32_t>::max()) {
            mode = AnswerMode::Late;
            lateDelay = std::chrono::milliseconds(*delay);
            log.line("mode late delay=", lateDelay.count(), "ms");
            return;
        }
    } else if (words.size() == 2 && (which == "normal" || which == "reject" || which == "silent")) {
        mode = which == "normal" ? AnswerMode::Normal : which == "reject" ? AnswerMode::Reject : AnswerMode::Silent;
        log.line("mode ", which);
        return;
    }
    log.line("error usage: mode normal | mode late <ms> | mode reject | mode silent");
}

void DriverStandIn::commandSend(const Words &words)
{
    const auto type = words.size() >= 3 ? text::parseInt32(words[1]) : std::nullopt;
    const auto value = words.size() >= 3 ? text::parseInt32(words[2]) : std::nullopt;
    const auto length = words.size() == 4 ? text::parseInt32(words[3]) : std::optional<std::int32_t>(0);
    if (!type || !value || !length || words.size() > 4) {
        log.line("error usage: send <type> <value> [extra-length]");
        return;
    }
    if (*length > MaxExtraBytesSent) {
        log.line("error send: extra-length ", *length, " over the ", MaxExtraBytesSent, " bytes it will send");
        return;
    }
    // A counting pattern, so a reader that loses its place shows it. A
    // negative length sends the header alone.
    std::vector<std::uint8_t> extra(static_cast<std::size_t>(std::max(*length, 0)));
    for (std::size_t i = 0; i < extra.size(); ++i)
        extra[i] = static_cast<std::uint8_t>(i);
    sendMessage(*type, *value, *length, extra);
}

void DriverStandIn::commandRaw(const Words &words)
{
    std::string hex;
    for (std::size_t i = 1; i < words.size(); ++i)
        hex += words[i];
    const auto bytes = text::parseHex(hex);
    if (!bytes || bytes->empty()) {
        log.line("error usage: raw <hex bytes>, e.g. raw 04000000 01000000 00000000");
        return;
    }
    const std::size_t count = bytes->size();
    connection->write(std::move(*bytes));
    log.line("sent-raw bytes=", count);
}

void DriverStandIn::printStatus()
{
    std::string modeText = modeName(mode);
    if (mode == AnswerMode::Late)
        modeText += " delay=" + std::to_string(lateDelay.count()) + "ms";
    log.line("status connected=", isConnected() ? "yes" : "no", " peer=", peer, " mode=", modeText,
             " split=", writer.isSplitArmed() ? "armed" : "off", " glue=", writer.isGlueArmed() ? "armed" : "off",
             " menuItems=", registry.menuItems().size(), " buttons=", registry.buttons().size(),
             " nextItemId=", itemIds.peek());
    for (const DriverRegistry::MenuItem &item : registry.menuItems())
        log.line("status menuItem id=", item.id, " flag=", static_cast<int>(item.flag),
                 " caption=", text::quoted(toUtf8(item.caption)));
    std::string buttons;
    for (const std::int32_t id : registry.buttons())
        buttons += (buttons.empty() ? "" : ",") + std::to_string(id);
    log.line("status buttons=", buttons.empty() ? "-" : buttons);
}

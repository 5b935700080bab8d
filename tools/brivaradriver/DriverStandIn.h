#pragma once

#include "DriverListener.h"
#include "DriverRegistry.h"
#include "EventLoop.h"
#include "RequestHandler.h"
#include "RequestStreamParser.h"
#include "ResponseWriter.h"
#include "StreamConnection.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class EventLog;
class ProgramExit;

// Behaves as the driver's tray program towards the watchdog: serves one
// connection at a time, answers its requests according to the answer mode,
// keeps what it registered, and on command clicks the menu item, presses OEM
// buttons, exits, drops the connection, or sends malformed messages.
class DriverStandIn
{
public:
    enum class AnswerMode { Normal, Late, Reject, Silent };

    DriverStandIn(EventLoop &loop, EventLog &log, ProgramExit &exit);
    DriverStandIn(const DriverStandIn &) = delete;
    DriverStandIn &operator=(const DriverStandIn &) = delete;

    bool listen(const ChannelTarget &target);
    void runCommand(const std::string &line);
    void endProgram(int code, const std::string &reason);

private:
    using Words = std::vector<std::string>;

    void accepted(int socketFd);
    void received(const std::uint8_t *data, std::size_t size);
    void handleRequest(const RequestStreamParser::Message &message);
    void answer(std::int32_t value);
    void connectionEnded(StreamConnection::End end, int error);
    void loseClient(const std::string &reason);
    bool isConnected() const;
    void sendMessage(std::int32_t type, std::int32_t value, std::int32_t length = 0,
                     const std::vector<std::uint8_t> &extra = {});

    void commandClick(const Words &words);
    void commandOem(const Words &words);
    void commandExit();
    void commandMode(const Words &words);
    void commandSend(const Words &words);
    void commandRaw(const Words &words);
    void printStatus();

    EventLoop &loop;
    EventLog &log;
    ProgramExit &exit;
    DriverListener listener;
    std::unique_ptr<StreamConnection> connection;
    std::string peer = "-";
    std::uint64_t connectionNumber = 0; // tells a late answer whether its connection still stands
    RequestStreamParser parser;
    MenuItemIds itemIds;
    DriverRegistry registry{itemIds};
    RequestHandler handler{registry};
    ResponseWriter writer;
    AnswerMode mode = AnswerMode::Normal;
    std::chrono::milliseconds lateDelay{0};
};

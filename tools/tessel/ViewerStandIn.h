#pragma once

#include "EventLoop.h"
#include "RecordAssembler.h"
#include "StreamConnection.h"
#include "ViewerConnector.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CommandInput;
class EventLog;
class ProgramExit;

struct ViewerSettings
{
    ChannelTarget target;
    std::chrono::milliseconds connectTimeout{3000};
    std::chrono::milliseconds exitWait{1000};
    bool stayOn = false;
    bool silent = false;
    int exitAfter = 0; // records; 0: never
    std::vector<std::int32_t> initialRequests;
};

// Behaves as the viewer towards the watchdog: connects to its port, shows
// every record it gets, answers requests (unless told to stay silent), turns
// off when the watchdog asks it to, and sends whatever a test tells it to,
// well-formed or not.
class ViewerStandIn
{
public:
    ViewerStandIn(EventLoop &loop, EventLog &log, CommandInput &input, ProgramExit &exit,
                  ViewerSettings settings);
    ~ViewerStandIn();
    ViewerStandIn(const ViewerStandIn &) = delete;
    ViewerStandIn &operator=(const ViewerStandIn &) = delete;

    // Connects first; commands wait until the first attempt has ended. Never
    // connecting ends the program with exit code 1.
    void start();
    void runCommand(const std::string &line);
    void endProgram(int code, const std::string &reason);

private:
    using Words = std::vector<std::string>;

    void connect(bool firstTime);
    void connected(int socketFd);
    void received(const std::uint8_t *data, std::size_t size);
    void handleRecord(const WatchdogMessage &message);
    void connectionEnded(StreamConnection::End end, int error);
    bool isConnected() const;

    void sendRecord(std::int32_t request, std::int32_t command, std::uint8_t state);
    void sendHalf(std::int32_t command);
    void closeConnection(const std::string &reason);
    void beginExitAnnouncement();
    void finishExitAnnouncement(const std::string &how);

    void commandRecord(const Words &words, std::int32_t request);
    void commandRaw(const Words &words);
    void commandHalf(const Words &words);
    void commandSilent(const Words &words);
    void printStatus();

    EventLoop &loop;
    EventLog &log;
    CommandInput &input;
    ProgramExit &exit;
    ViewerSettings settings;
    ViewerConnector connector;
    std::unique_ptr<StreamConnection> connection;
    RecordAssembler assembler;
    int recordsReceived = 0;
    bool announcingExit = false;
    EventLoop::TimerId exitWaitTimer = 0;
};

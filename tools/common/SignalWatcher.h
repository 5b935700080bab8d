#pragma once

#include "EventLoop.h"

#include <functional>

// Turns SIGTERM and SIGINT into events of the loop (through a pipe that the
// signal handler writes to), so that a stand-in ends the same clean way as on
// "quit". SIGPIPE is ignored: a peer or reader that vanished shows up as a
// failed write, never as a killed test tool.
class SignalWatcher
{
public:
    using Handler = std::function<void(int signalNumber)>;

    SignalWatcher(EventLoop &loop, Handler onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher &) = delete;
    SignalWatcher &operator=(const SignalWatcher &) = delete;

    bool isActive() const { return readFd >= 0; }

private:
    void readSignals();

    EventLoop &loop;
    Handler onSignal;
    int readFd = -1;
};

const char *signalName(int signalNumber);

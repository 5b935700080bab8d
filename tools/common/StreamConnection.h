#pragma once

#include "EventLoop.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// One connected TCP socket, non-blocking, inside the event loop. Queued writes
// go out in order, each as one write as far as the socket takes it; a write
// may wait a pause after the one before it, so that a message can be made to
// arrive in pieces. The owner never destroys the connection from inside its
// own handlers: it closes it and replaces the object later.
class StreamConnection
{
public:
    enum class End {
        PeerClosed, // the peer closed its side
        Failed,     // a receive or send failed; the error number comes along
        Finished,   // everything queued before closeAfterWriting() went out
    };
    using DataHandler = std::function<void(const std::uint8_t *data, std::size_t size)>;
    using EndHandler = std::function<void(End end, int error)>;

    StreamConnection(EventLoop &loop, int socketFd, DataHandler onData, EndHandler onEnd);
    ~StreamConnection();
    StreamConnection(const StreamConnection &) = delete;
    StreamConnection &operator=(const StreamConnection &) = delete;

    void write(std::vector<std::uint8_t> bytes,
               std::chrono::milliseconds pauseBefore = std::chrono::milliseconds(0));
    void closeAfterWriting();
    // At once, queued bytes and all; no end is reported.
    void close();

    bool isOpen() const { return fd >= 0; }
    bool hasPendingWrites() const { return !outbox.empty(); }
    int socket() const { return fd; }

private:
    struct Chunk
    {
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
        std::chrono::milliseconds pauseBefore;
        bool pauseOver = false;
    };

    void onEvents(short revents);
    void receive();
    void sendQueued();
    void updateInterest();
    void finishIfDone();
    // Ends found while the owner is calling us are reported from the loop, so
    // that the owner never hears of an end in the middle of its own call.
    void reportLater(End end, int error);

    EventLoop &loop;
    int fd;
    DataHandler onData;
    EndHandler onEnd;
    std::deque<Chunk> outbox;
    bool closing = false;
    bool wantWritable = false;
    EventLoop::TimerId pauseTimer = 0;
    EventLoop::TimerId reportTimer = 0;
};

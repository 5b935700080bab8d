#pragma once

#include "StreamConnection.h"
#include "protocol/ResponseHeader.h"

#include <chrono>
#include <cstdint>
#include <vector>

class EventLog;

// Puts the driver's messages on the connection. On request the next write
// goes out in pieces (split), or the next two messages share one write
// (glue), so that a client's reassembly of the stream can be put to the test.
class ResponseWriter
{
public:
    static constexpr std::chrono::milliseconds PiecePause{20};

    explicit ResponseWriter(EventLog &log) : log(log) {}

    void splitNext() { splitArmed = true; }
    void glueNext() { glueArmed = true; }
    bool isSplitArmed() const { return splitArmed; }
    bool isGlueArmed() const { return glueArmed; }

    void send(StreamConnection &connection, const ResponseHeader &header, const std::vector<std::uint8_t> &extra);
    // A message held for glue goes out alone (the program is leaving).
    void flushHeld(StreamConnection &connection);
    // The connection is gone: a held message goes with it.
    void dropHeld();

private:
    void write(StreamConnection &connection, std::vector<std::uint8_t> bytes, std::string &note);

    EventLog &log;
    bool splitArmed = false;
    bool glueArmed = false;
    std::vector<std::uint8_t> held;
};

// Where a split write is cut: after byte 1 and 5 of the header, at its end,
// and the rest in two halves, so that every field boundary is crossed.
std::vector<std::vector<std::uint8_t>> splitIntoPieces(const std::vector<std::uint8_t> &bytes);

const char *responseTypeName(std::int32_t type);

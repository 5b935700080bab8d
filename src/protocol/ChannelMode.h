#pragma once

#include <cstdlib>
#include <cstring>

namespace protocol {

// How the watchdog, the viewer and the tray program meet. On Linux, where all
// of them are ours, each user's programs meet on Unix sockets in that user's
// runtime folder; the fixed loopback TCP ports (1933 and 800) are used there
// only on request, for foreign peers and for the tests of the TCP path. On
// Windows the vendor's viewer and driver fix the TCP ports.
inline bool loopbackTcpRequested()
{
#ifdef _WIN32
    return true;
#else
    const char *value = std::getenv("TESSEL_LOOPBACK_TCP");
    return value != nullptr && std::strcmp(value, "1") == 0;
#endif
}

} // namespace protocol

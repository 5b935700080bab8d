// The viewer as a Windows program ("tessel.exe"), for the tests that run the
// Windows watchdog under wine: the watchdog starts it through the shell and
// finds it in the Windows process list, which a Linux viewer would never be
// in. It speaks the viewer's side of port 1933 the way the Linux stand-in
// does, and no more: connect, send the requests named in
// TESSEL_WINE_VIEWER_REQUESTS ("563,564"), answer every request with
// state 0, and end once the watchdog asks it to turn off or closes the
// connection. Every event is one line appended to the file that
// TESSEL_WINE_VIEWER_LOG names:
//   tessel.exe: connected
//   tessel.exe: received request=R command=C state=S deviceCount=N
//   tessel.exe: answered command=C
//   tessel.exe: exiting reason=turned-off|peer-closed|never-connected
#include "platform/Net.h"
#include "protocol/WatchdogMessage.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace net = platform::net;

namespace {

constexpr std::uint16_t ViewerPort = 1933;
constexpr int ConnectAttempts = 100; // every 100 ms: 10 s
constexpr std::int32_t ViewerOnOff = 93;

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

void logLine(const std::string &line)
{
    const std::string path = environment("TESSEL_WINE_VIEWER_LOG");
    std::FILE *file = path.empty() ? stdout : std::fopen(path.c_str(), "ab");
    if (!file)
        return;
    std::fprintf(file, "tessel.exe: %s\n", line.c_str());
    std::fflush(file);
    if (file != stdout)
        std::fclose(file);
}

bool receiveRecord(net::SocketHandle socket, WatchdogMessage::Bytes &bytes)
{
    std::size_t have = 0;
    while (have < bytes.size()) {
        const long got = net::receiveSome(socket, bytes.data() + have, bytes.size() - have);
        if (got <= 0)
            return false;
        have += static_cast<std::size_t>(got);
    }
    return true;
}

bool sendRecord(net::SocketHandle socket, std::int32_t request, std::int32_t command)
{
    WatchdogMessage message;
    message.request = request;
    message.command = command;
    const auto bytes = message.encode();
    return net::sendAll(socket, bytes.data(), bytes.size());
}

std::vector<std::int32_t> requestsToSend()
{
    std::vector<std::int32_t> codes;
    std::stringstream list(environment("TESSEL_WINE_VIEWER_REQUESTS"));
    for (std::string code; std::getline(list, code, ',');)
        if (!code.empty())
            codes.push_back(std::atoi(code.c_str()));
    return codes;
}

} // namespace

int main()
{
    if (!net::startup())
        return 3;
    net::SocketHandle socket = net::InvalidSocket;
    for (int attempt = 0; attempt < ConnectAttempts && socket == net::InvalidSocket; ++attempt) {
        socket = net::openTcpSocket();
        if (!net::connectTo(socket, net::LoopbackAddress, ViewerPort)) {
            net::closeSocket(socket);
            socket = net::InvalidSocket;
            Sleep(100);
        }
    }
    if (socket == net::InvalidSocket) {
        logLine("exiting reason=never-connected");
        return 1;
    }
    logLine("connected");
    for (const std::int32_t code : requestsToSend())
        sendRecord(socket, 1, code);

    WatchdogMessage::Bytes bytes{};
    while (receiveRecord(socket, bytes)) {
        const WatchdogMessage message = WatchdogMessage::decode(bytes);
        logLine("received request=" + std::to_string(message.request) + " command="
                + std::to_string(message.command) + " state=" + std::to_string(message.state)
                + " deviceCount=" + std::to_string(message.deviceCount));
        if (message.request != 1)
            continue;
        sendRecord(socket, 0, message.command);
        logLine("answered command=" + std::to_string(message.command));
        if (message.command == ViewerOnOff) {
            net::closeSocket(socket);
            logLine("exiting reason=turned-off");
            return 0;
        }
    }
    net::closeSocket(socket);
    logLine("exiting reason=peer-closed");
    return 0;
}

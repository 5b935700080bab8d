#pragma once

#include "protocol/ResponseHeader.h"

#include <QByteArray>
#include <QTcpSocket>

#include <cstdint>
#include <optional>
#include <string>

// A client of the tray's port that behaves as the watchdog does, or not:
// requests go out whole or as raw bytes, and the driver's messages are read
// back one 12-byte header at a time. Every wait runs the event loop, since
// the tray under test lives on the same thread.
class WatchdogSocket
{
public:
    explicit WatchdogSocket(quint16 port);

    bool isConnected() const { return connected; }
    void sendRaw(const QByteArray &bytes);
    void sendRequest(std::uint16_t type, const QByteArray &payload);

    // The answer to a request, or nothing if none came in time.
    std::optional<std::int32_t> addButton(std::int32_t buttonId);
    std::optional<std::int32_t> addMenuItem(const std::u16string &caption);
    std::optional<std::int32_t> removeMenuItem(std::int32_t itemId);

    // The next message from the driver.
    std::optional<ResponseHeader> next(int timeoutMs = 3000);
    // True when the tray closed the connection (all data read).
    bool waitClosed(int timeoutMs = 3000);
    void close() { socket.abort(); }

private:
    std::optional<std::int32_t> answer();
    void readAvailable();

    QTcpSocket socket;
    QByteArray received;
    bool connected = false;
};

QByteArray requestBytes(std::uint16_t type, const QByteArray &payload, std::int32_t length);
QByteArray menuItemPayload(const std::u16string &caption, std::int32_t itemId);

#pragma once

#include "protocol/ChannelAddress.h"
#include "protocol/WatchdogMessage.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <cstdint>

// The viewer's end of the watchdog's channel (the user's own viewer.sock, or
// the loopback port): connects to it, trying again quietly every second
// while the watchdog is not up or after it went away, makes sure the
// listener is the user's own watchdog before a byte goes out, collects whole
// 2616-byte records however the stream cuts them, and answers every request
// the way a viewer must (request 0, same command, state 0). Everything runs
// on the main thread's event loop.
class WatchdogLink : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryIntervalMs = 1000;
    // How long a closing link lets queued bytes drain before it cuts.
    static constexpr int DrainMs = 500;

    // On the process's viewer channel.
    explicit WatchdogLink(QObject *parent = nullptr);
    explicit WatchdogLink(protocol::ChannelAddress address, QObject *parent = nullptr);
    // On a loopback TCP port.
    explicit WatchdogLink(std::uint16_t port, QObject *parent = nullptr);
    ~WatchdogLink() override;

    // Starts connecting (and keeps reconnecting until close()).
    void start();
    bool isConnected() const;

    // A record with request 1 (a request) or 0 (a response); false when no
    // watchdog is connected.
    bool sendRequest(std::int32_t command, std::uint8_t state = 0);
    bool sendResponse(std::int32_t command, std::uint8_t state = 0);

    // Tells the watchdog that the viewer closes (VIEWER_ON_OFF, request 1),
    // waits for its answer at most waitMs, then disconnects for good and
    // emits closed(). Without a connection, closed() comes at once.
    void closeAnnounced(int waitMs = 1000);
    // Disconnects for good without a word; emits closed(), also while a
    // connection is still being made.
    void close();

signals:
    void connected();
    void disconnected();
    // A whole record from the watchdog; requests are answered already.
    void recordReceived(const WatchdogMessage &message);
    void closed();

private:
    void tryConnect();
    void onSocketConnected();
    void onDisconnected();
    void onReadyRead();
    void onConnectFailed();
    bool send(const WatchdogMessage &message);
    void finishClosing();

    bool socketIsUnconnected() const;
    bool socketIsConnected() const;
    qintptr descriptor() const;
    QIODevice &device();
    void abortSocket();
    void disconnectSocket();

    protocol::ChannelAddress address;
    QTcpSocket tcpSocket;
    QLocalSocket localSocket;
    QTimer retryTimer;
    QTimer closeTimer;
    QByteArray pending;
    bool linkUp = false;        // connected, and the listener is ours
    bool refusalLogged = false; // one line for a stranger at the address, not one a second
    bool closing = false;
    bool finished = false;
};

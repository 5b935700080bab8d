#include "WatchdogLink.h"

#include "protocol/WatchdogCommand.h"

#include <QDebug>
#include <QHostAddress>

WatchdogLink::WatchdogLink(std::uint16_t port, QObject *parent)
    : QObject(parent), port(port)
{
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(RetryIntervalMs);
    closeTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &WatchdogLink::tryConnect);
    connect(&closeTimer, &QTimer::timeout, this, &WatchdogLink::finishClosing);
    connect(&socket, &QTcpSocket::connected, this, &WatchdogLink::onConnected);
    connect(&socket, &QTcpSocket::disconnected, this, &WatchdogLink::onDisconnected);
    connect(&socket, &QTcpSocket::readyRead, this, &WatchdogLink::onReadyRead);
    connect(&socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        // A refused or failed attempt: try again later, without a word.
        if (socket.state() == QAbstractSocket::UnconnectedState && !closing && !finished)
            retryTimer.start();
    });
}

WatchdogLink::~WatchdogLink()
{
    // The socket's end must not reach our timers, which go first.
    socket.disconnect(this);
    socket.abort();
}

void WatchdogLink::start()
{
    finished = false;
    tryConnect();
}

bool WatchdogLink::isConnected() const
{
    return socket.state() == QAbstractSocket::ConnectedState;
}

void WatchdogLink::tryConnect()
{
    if (finished || socket.state() != QAbstractSocket::UnconnectedState)
        return;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
}

void WatchdogLink::onConnected()
{
    wasConnected = true;
    pending.clear();
    qDebug().noquote() << "<WatchdogLink> connected to the watchdog on port" << port;
    emit connected();
}

void WatchdogLink::onDisconnected()
{
    if (!pending.isEmpty())
        qDebug().noquote() << "<WatchdogLink> dropped an unfinished record of" << pending.size() << "bytes";
    pending.clear();
    const bool wasUp = wasConnected;
    wasConnected = false;
    if (wasUp)
        qDebug().noquote() << "<WatchdogLink> the watchdog closed the connection";
    if (finished)
        return;
    if (closing) {
        finishClosing();
        return;
    }
    if (wasUp)
        emit disconnected();
    retryTimer.start();
}

void WatchdogLink::onReadyRead()
{
    pending.append(socket.readAll());
    while (pending.size() >= static_cast<qsizetype>(WatchdogMessage::Size)) {
        WatchdogMessage::Bytes bytes;
        std::copy_n(reinterpret_cast<const std::uint8_t *>(pending.constData()), bytes.size(), bytes.begin());
        pending.remove(0, static_cast<qsizetype>(bytes.size()));
        const WatchdogMessage message = WatchdogMessage::decode(bytes);
        if (message.request == 1)
            sendResponse(message.command);
        if (closing) {
            if (message.command == VIEWER_ON_OFF && message.request != 1)
                finishClosing();
            continue;
        }
        emit recordReceived(message);
        if (finished)
            return;
    }
}

bool WatchdogLink::sendRequest(std::int32_t command, std::uint8_t state)
{
    WatchdogMessage message;
    message.request = 1;
    message.command = command;
    message.state = state;
    return send(message);
}

bool WatchdogLink::sendResponse(std::int32_t command, std::uint8_t state)
{
    WatchdogMessage message;
    message.command = command;
    message.state = state;
    return send(message);
}

bool WatchdogLink::send(const WatchdogMessage &message)
{
    if (!isConnected())
        return false;
    const WatchdogMessage::Bytes bytes = message.encode();
    // QTcpSocket keeps what the kernel does not take yet and sends it from
    // the event loop: every record goes out whole.
    return socket.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()))
           == static_cast<qint64>(bytes.size());
}

void WatchdogLink::closeAnnounced(int waitMs)
{
    if (closing || finished)
        return;
    retryTimer.stop();
    if (!sendRequest(VIEWER_ON_OFF)) {
        finishClosing();
        return;
    }
    closing = true;
    closeTimer.start(waitMs);
}

void WatchdogLink::close()
{
    if (finished)
        return;
    closing = true;
    finishClosing();
}

void WatchdogLink::finishClosing()
{
    if (finished)
        return;
    finished = true;
    closing = false;
    retryTimer.stop();
    closeTimer.stop();
    if (socket.state() == QAbstractSocket::UnconnectedState) {
        emit closed();
        return;
    }
    // What is still queued (an answer) goes out before the connection
    // closes; closed() follows the disconnection, or a short grace.
    connect(&socket, &QTcpSocket::disconnected, this, &WatchdogLink::closed, Qt::SingleShotConnection);
    QTimer::singleShot(500, this, [this] {
        if (socket.state() != QAbstractSocket::UnconnectedState)
            socket.abort();
    });
    socket.disconnectFromHost();
}

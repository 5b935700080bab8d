#include "WatchdogLink.h"

#include "protocol/Channel.h"
#include "protocol/WatchdogCommand.h"

#include <QDebug>
#include <QHostAddress>

WatchdogLink::WatchdogLink(QObject *parent) : WatchdogLink(protocol::viewerChannel(), parent)
{
}

WatchdogLink::WatchdogLink(std::uint16_t port, QObject *parent)
    : WatchdogLink(protocol::ChannelAddress::loopbackTcp(port), parent)
{
}

WatchdogLink::WatchdogLink(protocol::ChannelAddress channel, QObject *parent)
    : QObject(parent), address(std::move(channel))
{
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(RetryIntervalMs);
    closeTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &WatchdogLink::tryConnect);
    connect(&closeTimer, &QTimer::timeout, this, &WatchdogLink::finishClosing);
    if (address.isLocal()) {
        connect(&localSocket, &QLocalSocket::connected, this, &WatchdogLink::onSocketConnected);
        connect(&localSocket, &QLocalSocket::disconnected, this, &WatchdogLink::onDisconnected);
        connect(&localSocket, &QLocalSocket::readyRead, this, &WatchdogLink::onReadyRead);
        connect(&localSocket, &QLocalSocket::errorOccurred, this, &WatchdogLink::onConnectFailed);
    } else {
        connect(&tcpSocket, &QTcpSocket::connected, this, &WatchdogLink::onSocketConnected);
        connect(&tcpSocket, &QTcpSocket::disconnected, this, &WatchdogLink::onDisconnected);
        connect(&tcpSocket, &QTcpSocket::readyRead, this, &WatchdogLink::onReadyRead);
        connect(&tcpSocket, &QTcpSocket::errorOccurred, this, &WatchdogLink::onConnectFailed);
    }
}

WatchdogLink::~WatchdogLink()
{
    // The socket's end must not reach our timers, which go first.
    tcpSocket.disconnect(this);
    localSocket.disconnect(this);
    abortSocket();
}

// ---- the socket of the address's kind ------------------------------------

bool WatchdogLink::socketIsUnconnected() const
{
    return address.isLocal() ? localSocket.state() == QLocalSocket::UnconnectedState
                             : tcpSocket.state() == QAbstractSocket::UnconnectedState;
}

bool WatchdogLink::socketIsConnected() const
{
    return address.isLocal() ? localSocket.state() == QLocalSocket::ConnectedState
                             : tcpSocket.state() == QAbstractSocket::ConnectedState;
}

qintptr WatchdogLink::descriptor() const
{
    return address.isLocal() ? localSocket.socketDescriptor() : tcpSocket.socketDescriptor();
}

QIODevice &WatchdogLink::device()
{
    return address.isLocal() ? static_cast<QIODevice &>(localSocket) : static_cast<QIODevice &>(tcpSocket);
}

void WatchdogLink::abortSocket()
{
    if (address.isLocal())
        localSocket.abort();
    else
        tcpSocket.abort();
}

void WatchdogLink::disconnectSocket()
{
    if (address.isLocal())
        localSocket.disconnectFromServer();
    else
        tcpSocket.disconnectFromHost();
}

// ---- connecting ------------------------------------------------------------

void WatchdogLink::start()
{
    finished = false;
    tryConnect();
}

bool WatchdogLink::isConnected() const
{
    return linkUp && socketIsConnected();
}

void WatchdogLink::tryConnect()
{
    if (finished || !socketIsUnconnected())
        return;
    if (address.isLocal())
        localSocket.connectToServer(QString::fromStdString(address.path));
    else
        tcpSocket.connectToHost(QHostAddress(QHostAddress::LocalHost), address.port);
}

void WatchdogLink::onConnectFailed()
{
    // A refused or failed attempt: try again later, without a word.
    if (socketIsUnconnected() && !linkUp && !closing && !finished)
        retryTimer.start();
}

void WatchdogLink::onSocketConnected()
{
    // Whoever holds the address would see the camera's buttons and could
    // close us: only the user's own watchdog is talked to.
    if (std::string why; !protocol::channel::listenerIsOurs(descriptor(), address, why)) {
        if (!refusalLogged)
            qDebug().noquote() << "<WatchdogLink> Connection refused:" << QString::fromStdString(why);
        refusalLogged = true;
        abortSocket();
        if (!finished && !closing)
            retryTimer.start();
        return;
    }
    refusalLogged = false;
    linkUp = true;
    pending.clear();
    qDebug().noquote() << "<WatchdogLink> connected to the watchdog at" << QString::fromStdString(address.describe());
    emit connected();
}

void WatchdogLink::onDisconnected()
{
    if (!pending.isEmpty())
        qDebug().noquote() << "<WatchdogLink> dropped an unfinished record of" << pending.size() << "bytes";
    pending.clear();
    const bool wasUp = linkUp;
    linkUp = false;
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
    if (!linkUp)
        return;
    pending.append(device().readAll());
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

// ---- sending -----------------------------------------------------------------

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
    // The socket keeps what the kernel does not take yet and sends it from
    // the event loop: every record goes out whole.
    return device().write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()))
           == static_cast<qint64>(bytes.size());
}

// ---- closing -------------------------------------------------------------------

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
    if (!isConnected()) {
        // Nothing to drain: a connection still being made (or one to a
        // stranger) ends here, and no disconnected() will follow to wait for.
        linkUp = false;
        abortSocket();
        emit closed();
        return;
    }
    // What is still queued (an answer) goes out before the connection
    // closes; closed() follows the disconnection, or a short grace.
    if (address.isLocal())
        connect(&localSocket, &QLocalSocket::disconnected, this, &WatchdogLink::closed, Qt::SingleShotConnection);
    else
        connect(&tcpSocket, &QTcpSocket::disconnected, this, &WatchdogLink::closed, Qt::SingleShotConnection);
    QTimer::singleShot(DrainMs, this, [this] {
        if (!socketIsUnconnected())
            abortSocket();
    });
    disconnectSocket();
}

#include "DriverServer.h"

#include "protocol/Channel.h"

#include "DriverClient.h"

#include <QDebug>
#include <QHostAddress>
#include <QLocalSocket>
#include <QTcpSocket>

#include <cerrno>

DriverServer::DriverServer(QObject *parent) : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &DriverServer::acceptPending);
    connect(&localServer, &QLocalServer::newConnection, this, &DriverServer::acceptLocal);
}

DriverServer::~DriverServer()
{
    // The clients are our children; they must not report to a half-gone us.
    for (DriverClient *client : std::as_const(connected))
        client->disconnect(this);
    if (localListener >= 0) {
        localServer.close();
        // QLocalServer took the descriptor but not the file: ours to remove.
        protocol::channel::closeListener(protocol::channel::InvalidSocket, address);
    }
}

DriverServer::ListenOutcome DriverServer::listen(const protocol::ChannelAddress &where)
{
    address = where;
    if (where.isLocal()) {
        std::string error;
        const protocol::channel::SocketHandle listener = protocol::channel::listen(where, 16, error);
        if (listener == protocol::channel::InvalidSocket) {
            const int number = protocol::channel::lastError();
            lastError = QString::fromStdString(error);
            return number == EADDRINUSE ? ListenOutcome::InUse : ListenOutcome::Failed;
        }
        if (!localServer.listen(static_cast<qintptr>(listener))) {
            lastError = localServer.errorString();
            protocol::channel::closeListener(listener, where);
            return ListenOutcome::Failed;
        }
        localListener = static_cast<qintptr>(listener);
        qDebug().noquote() << "<DriverServer::listen()> Listening on" << QString::fromStdString(where.path);
        return ListenOutcome::Listening;
    }
    const quint16 port = where.port;
    if (server.listen(QHostAddress::LocalHost, port)) {
        qDebug().noquote() << "<DriverServer::listen()> Listening on 127.0.0.1:" + QString::number(server.serverPort());
        return ListenOutcome::Listening;
    }
    lastError = server.errorString();
    switch (server.serverError()) {
    case QAbstractSocket::SocketAccessError:
        return ListenOutcome::NoPermission;
    case QAbstractSocket::AddressInUseError:
        return ListenOutcome::InUse;
    default:
        return ListenOutcome::Failed;
    }
}

DriverServer::ListenOutcome DriverServer::adopt(qintptr descriptor)
{
    if (!server.setSocketDescriptor(descriptor)) {
        lastError = server.errorString();
        return ListenOutcome::Failed;
    }
    address = protocol::ChannelAddress::loopbackTcp(server.serverPort());
    qDebug().noquote() << "<DriverServer::listen()> Listening on 127.0.0.1:" + QString::number(server.serverPort());
    return ListenOutcome::Listening;
}

void DriverServer::acceptPending()
{
    while (QTcpSocket *socket = server.nextPendingConnection())
        take(socket, socket->peerAddress().toString() + ":" + QString::number(socket->peerPort()));
}

void DriverServer::acceptLocal()
{
    while (QLocalSocket *socket = localServer.nextPendingConnection())
        take(socket, QStringLiteral("the local socket"));
}

template<class Socket>
void DriverServer::take(Socket *socket, const QString &peer)
{
    if (closing || connected.size() >= MaxClients) {
        qDebug().noquote() << "<DriverServer::acceptPending()> A connection from" << peer << "refused:"
                           << (closing ? QStringLiteral("the program is leaving")
                                       : QStringLiteral("%1 clients are connected already").arg(MaxClients));
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (!admit(socket->socketDescriptor(), peer)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    auto *client = new DriverClient(socket, nextNumber++, itemIds, this);
    connected.append(client);
    connect(client, &DriverClient::gone, this, [this, client] { forget(client); });
    qDebug().noquote() << "<DriverServer::acceptPending()> Client" << client->number() << "connected from" << peer;
    emit clientConnected(client);
    emit clientCountChanged(static_cast<int>(connected.size()));
}

bool DriverServer::admit(qintptr descriptor, const QString &peer)
{
    // Only our own user's watchdog may put items into our tray and hear our
    // clicks: every user of the machine reaches the loopback port, and a
    // socket's peer may be anyone who found it.
    std::string why;
    if (protocol::channel::peerIsOurs(descriptor, address, why))
        return true;
    qDebug().noquote() << "<DriverServer::acceptPending()> A connection from" << peer
                       << "refused:" << QString::fromStdString(why);
    return false;
}

void DriverServer::forget(DriverClient *client)
{
    connected.removeOne(client);
    // Its gone() is still being delivered: delete it once that is over.
    client->deleteLater();
    emit clientCountChanged(static_cast<int>(connected.size()));
    if (closing && connected.isEmpty())
        emit allGone();
}

void DriverServer::closeAll()
{
    if (closing)
        return;
    closing = true;
    server.close();
    localServer.close();
    if (connected.isEmpty()) {
        emit allGone();
        return;
    }
    // Copied: a client whose socket is already closed leaves the list at once.
    const QList<DriverClient *> clients = connected;
    for (DriverClient *client : clients)
        client->sayGoodbye();
}

#include "DriverServer.h"

#include "platform/Net.h"

#include "DriverClient.h"

#include <QDebug>
#include <QHostAddress>
#include <QTcpSocket>

DriverServer::DriverServer(QObject *parent) : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &DriverServer::acceptPending);
}

DriverServer::~DriverServer()
{
    // The clients are our children; they must not report to a half-gone us.
    for (DriverClient *client : std::as_const(connected))
        client->disconnect(this);
}

DriverServer::ListenOutcome DriverServer::listen(quint16 port)
{
    if (server.listen(QHostAddress::LocalHost, port)) {
        qDebug().noquote() << "<DriverServer::listen()> Listening on 127.0.0.1:" + QString::number(server.serverPort());
        return ListenOutcome::Listening;
    }
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
    if (!server.setSocketDescriptor(descriptor))
        return ListenOutcome::Failed;
    qDebug().noquote() << "<DriverServer::listen()> Listening on 127.0.0.1:" + QString::number(server.serverPort());
    return ListenOutcome::Listening;
}

void DriverServer::acceptPending()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        const QString peer = socket->peerAddress().toString() + ":" + QString::number(socket->peerPort());
        if (closing || connected.size() >= MaxClients) {
            qDebug().noquote() << "<DriverServer::acceptPending()> A connection from" << peer << "refused:"
                               << (closing ? QStringLiteral("the program is leaving")
                                           : QStringLiteral("%1 clients are connected already").arg(MaxClients));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Every user of the machine reaches the loopback port: only our own
        // user's watchdog may put items into our tray and hear our clicks.
        if (std::string why; !platform::net::peerIsOurs(socket->socketDescriptor(), why)) {
            qDebug().noquote() << "<DriverServer::acceptPending()> A connection from" << peer
                               << "refused:" << QString::fromStdString(why);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *client = new DriverClient(socket, nextNumber++, itemIds, this);
        connected.append(client);
        connect(client, &DriverClient::gone, this, [this, client] { forget(client); });
        qDebug().noquote() << "<DriverServer::acceptPending()> Client" << client->number() << "connected from" << peer;
        emit clientConnected(client);
        emit clientCountChanged(static_cast<int>(connected.size()));
    }
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
    if (connected.isEmpty()) {
        emit allGone();
        return;
    }
    // Copied: a client whose socket is already closed leaves the list at once.
    const QList<DriverClient *> clients = connected;
    for (DriverClient *client : clients)
        client->sayGoodbye();
}

#pragma once

#include "MenuItemIds.h"
#include "protocol/ChannelAddress.h"

#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTcpServer>

class DriverClient;

// The driver's channel: the user's own driver.sock, or the loopback address
// only (the watchdog runs on the same machine, and nobody on the network has
// any business with the menu or the buttons). Only the user's own programs
// are served: any other is turned away with one line in the log. Serves
// several clients at once, each with its own
// items and buttons. Everything runs on the main thread's event loop; no
// call ever waits for a client.
class DriverServer : public QObject
{
    Q_OBJECT

public:
    // More clients than any session has; a further connection is closed.
    static constexpr int MaxClients = 16;

    enum class ListenOutcome {
        Listening,
        NoPermission, // a privileged port, and the program may not bind it
        InUse,        // another program holds the port, or serves the socket
        Failed,
    };

    explicit DriverServer(QObject *parent = nullptr);
    ~DriverServer() override;

    // Says nothing when it fails: the caller knows whether to tell.
    ListenOutcome listen(const protocol::ChannelAddress &address);
    ListenOutcome listen(quint16 port) { return listen(protocol::ChannelAddress::loopbackTcp(port)); }
    // Serves a socket that is already bound and listening (the privileged
    // port, bound before the program gave up its capability); takes it over.
    ListenOutcome adopt(qintptr descriptor);
    // The system's reason when listen() failed.
    QString listenError() const { return lastError; }
    quint16 port() const { return server.serverPort(); }

    const QList<DriverClient *> &clients() const { return connected; }
    // The program leaves: every client hears DRIVER_EXIT and its connection
    // closes; no new one is taken. allGone() follows when the last has
    // closed (at once when there is none).
    void closeAll();

signals:
    void clientConnected(DriverClient *client);
    void clientCountChanged(int count);
    void allGone();

private:
    void acceptPending();
    void acceptLocal();
    // Serves a new connection of either kind, or closes it.
    template<class Socket>
    void take(Socket *socket, const QString &peer);
    // True when the connection may be served; otherwise it is closed.
    bool admit(qintptr descriptor, const QString &peer);
    void forget(DriverClient *client);

    protocol::ChannelAddress address;
    QTcpServer server;
    QLocalServer localServer;
    qintptr localListener = -1;
    QString lastError;
    MenuItemIds itemIds;
    QList<DriverClient *> connected;
    int nextNumber = 1;
    bool closing = false;
};

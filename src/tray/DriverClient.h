#pragma once

#include "DriverRegistry.h"
#include "RequestHandler.h"
#include "RequestStreamParser.h"

#include <QObject>
#include <QString>

#include <cstdint>

class QIODevice;

// One client of the driver's port (a watchdog): reads its requests, answers
// them as the driver does, keeps what it registered, and carries the user's
// clicks back to it. Bad input drops this client alone: a record whose
// length cannot be followed or that is too short for its type, a client
// that registers more than a tray can show, or one that stops reading its
// answers.
class DriverClient : public QObject
{
    Q_OBJECT

public:
    // What one client may hold; beyond that its requests are refused (-1).
    static constexpr std::size_t MaxMenuItems = 16;
    static constexpr std::size_t MaxButtons = 64;
    // Answers and events queued for a client that does not read them.
    static constexpr qint64 MaxUnsentBytes = 64 * 1024;

    // Takes the connected socket over (a QLocalSocket or a QTcpSocket).
    DriverClient(QIODevice *socket, int number, MenuItemIds &itemIds, QObject *parent = nullptr);
    ~DriverClient() override;

    // 1, 2, 3, ... in the order the clients connected.
    int number() const { return clientNumber; }
    const DriverRegistry &registry() const { return held; }

    // The user picked one of this client's menu items, or pressed one of its
    // buttons.
    void clickMenuItem(int itemId);
    void pressButton(int buttonId);
    // The program is leaving: DRIVER_EXIT, then the connection closes once
    // it is written.
    void sayGoodbye();

signals:
    void menuItemAdded(int itemId, const QString &caption);
    void menuItemRemoved(int itemId);
    // Once per id, in registration order.
    void buttonAdded(int buttonId);
    // The connection ended (closed, failed or dropped): the items and
    // buttons are gone. Emitted once.
    void gone();

private:
    void readRequests();
    void handleRequest(const RequestStreamParser::Message &message);
    bool isOverLimit(std::uint16_t type) const;
    void logRefusalOnce(bool &logged, const QString &what, std::size_t limit);
    void send(std::int32_t type, std::int32_t value);
    void drop(const QString &why);
    void connectionEnded();
    void closeAfterWriting();
    void abortConnection();
    QString name() const;

    QIODevice *socket;
    int clientNumber;
    RequestStreamParser parser;
    DriverRegistry held;
    RequestHandler handler{held};
    bool ended = false;
    bool buttonRefusalLogged = false;
    bool itemRefusalLogged = false;
};

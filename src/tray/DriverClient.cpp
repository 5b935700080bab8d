#include "DriverClient.h"

#include "protocol/ResponseHeader.h"

#include <QAbstractSocket>
#include <QDebug>
#include <QLocalSocket>

#include <algorithm>
#include <array>

namespace {
constexpr qint64 ReadChunk = 4096;
} // namespace

DriverClient::DriverClient(QIODevice *connection, int number, MenuItemIds &itemIds, QObject *parent)
    : QObject(parent), socket(connection), clientNumber(number), held(itemIds)
{
    socket->setParent(this);
    connect(socket, &QIODevice::readyRead, this, &DriverClient::readRequests);
    if (auto *local = qobject_cast<QLocalSocket *>(socket)) {
        connect(local, &QLocalSocket::disconnected, this, &DriverClient::connectionEnded);
        connect(local, &QLocalSocket::errorOccurred, this, &DriverClient::connectionEnded);
    } else if (auto *tcp = qobject_cast<QAbstractSocket *>(socket)) {
        connect(tcp, &QAbstractSocket::disconnected, this, &DriverClient::connectionEnded);
        connect(tcp, &QAbstractSocket::errorOccurred, this, &DriverClient::connectionEnded);
    }
}

void DriverClient::closeAfterWriting()
{
    if (auto *local = qobject_cast<QLocalSocket *>(socket))
        local->disconnectFromServer();
    else if (auto *tcp = qobject_cast<QAbstractSocket *>(socket))
        tcp->disconnectFromHost();
}

void DriverClient::abortConnection()
{
    if (auto *local = qobject_cast<QLocalSocket *>(socket))
        local->abort();
    else if (auto *tcp = qobject_cast<QAbstractSocket *>(socket))
        tcp->abort();
}

DriverClient::~DriverClient()
{
    // The socket is a child: it goes with us, without signals to us.
    socket->disconnect(this);
}

QString DriverClient::name() const
{
    return QStringLiteral("Client %1").arg(clientNumber);
}

void DriverClient::readRequests()
{
    std::array<char, ReadChunk> chunk{};
    while (!ended && socket->bytesAvailable() > 0) {
        const qint64 count = socket->read(chunk.data(), ReadChunk);
        if (count <= 0)
            break;
        const auto result = parser.feed(reinterpret_cast<const std::uint8_t *>(chunk.data()),
                                        static_cast<std::size_t>(count));
        for (const RequestStreamParser::Message &message : result.messages) {
            handleRequest(message);
            if (ended)
                return;
        }
        if (result.badHeader) {
            drop(QStringLiteral("a request of type %1 gives the length %2, outside 0..%3")
                     .arg(result.badHeader->type)
                     .arg(result.badHeader->length)
                     .arg(RequestStreamParser::MaxLength));
            return;
        }
    }
}

bool DriverClient::isOverLimit(std::uint16_t type) const
{
    return (type == ADD_OEM_BUTTON && held.buttons().size() >= MaxButtons)
           || (type == ADD_MENU_ITEM && held.menuItems().size() >= MaxMenuItems);
}

void DriverClient::handleRequest(const RequestStreamParser::Message &message)
{
    const bool overLimit = isOverLimit(message.header.type);
    const RequestHandler::Outcome outcome = handler.handle(message, overLimit);
    const QString prefix = QStringLiteral("<DriverClient::handleRequest()> ") + name();
    switch (outcome.kind) {
    case RequestHandler::Kind::Unknown:
        qDebug().noquote() << prefix << "sent a request of unknown type" << message.header.type << "with"
                           << message.header.length << "bytes; skipped";
        return;
    case RequestHandler::Kind::Malformed:
        drop(QStringLiteral("its %1 request carries %2 bytes, %3 are needed")
                 .arg(QLatin1String(requestTypeName(message.header.type)))
                 .arg(message.header.length)
                 .arg(outcome.needed));
        return;
    case RequestHandler::Kind::OemButton:
        if (overLimit) {
            logRefusalOnce(buttonRefusalLogged, QStringLiteral("OEM buttons"), MaxButtons);
            break;
        }
        qDebug().noquote() << prefix << "added OEM button" << outcome.buttonId;
        if (outcome.changed)
            emit buttonAdded(outcome.buttonId);
        break;
    case RequestHandler::Kind::AddMenuItem:
        if (overLimit) {
            logRefusalOnce(itemRefusalLogged, QStringLiteral("menu items"), MaxMenuItems);
        } else {
            const QString caption = QString::fromStdU16String(outcome.record.caption);
            QDebug line = qDebug().noquote();
            line << prefix << "added menu item" << *outcome.answer << "with the caption";
            line.quote() << caption;
            emit menuItemAdded(*outcome.answer, caption);
        }
        break;
    case RequestHandler::Kind::RemoveMenuItem:
        if (outcome.changed) {
            qDebug().noquote() << prefix << "removed menu item" << outcome.record.itemId;
            emit menuItemRemoved(outcome.record.itemId);
        } else {
            qDebug().noquote() << prefix << "asked to remove menu item" << outcome.record.itemId
                               << "which it does not hold";
        }
        break;
    }
    send(REQUEST_RESULT, *outcome.answer);
}

void DriverClient::logRefusalOnce(bool &logged, const QString &what, std::size_t limit)
{
    // A client that floods the tray is told -1 every time, but the log
    // hears of it once for buttons and once for menu items.
    if (logged)
        return;
    logged = true;
    qDebug().noquote() << "<DriverClient::handleRequest()>" << name() << "holds the most" << what
                       << "a tray shows (" + QString::number(limit) + "); further ones are refused";
}

void DriverClient::send(std::int32_t type, std::int32_t value)
{
    if (ended)
        return;
    const ResponseHeader::Bytes bytes = ResponseHeader{type, value, 0}.encode();
    socket->write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (socket->bytesToWrite() > MaxUnsentBytes)
        drop(QStringLiteral("it has left %1 bytes of answers unread").arg(socket->bytesToWrite()));
}

void DriverClient::clickMenuItem(int itemId)
{
    const auto &items = held.menuItems();
    if (ended || std::none_of(items.begin(), items.end(), [itemId](const auto &item) { return item.id == itemId; }))
        return;
    qDebug().noquote() << "<DriverClient::clickMenuItem()>" << name() << "menu item" << itemId << "clicked";
    send(MENU_ITEM_CLICKED, itemId);
}

void DriverClient::pressButton(int buttonId)
{
    if (ended || !held.hasButton(buttonId))
        return;
    qDebug().noquote() << "<DriverClient::pressButton()>" << name() << "OEM button" << buttonId << "pressed";
    send(OEM_BUTTON_PRESSED, buttonId);
}

void DriverClient::sayGoodbye()
{
    if (ended)
        return;
    send(DRIVER_EXIT, 0);
    // Closes once the goodbye is written; disconnected() then ends us.
    closeAfterWriting();
}

void DriverClient::drop(const QString &why)
{
    if (ended)
        return;
    qDebug().noquote() << "<DriverClient::drop()>" << name() << "dropped:" << why;
    abortConnection();
    connectionEnded();
}

void DriverClient::connectionEnded()
{
    if (ended)
        return;
    ended = true;
    qDebug().noquote() << "<DriverClient::connectionEnded()>" << name() << "disconnected; its"
                       << held.menuItems().size() << "menu item(s) and" << held.buttons().size()
                       << "OEM button(s) are gone";
    held.forgetClientState();
    emit gone();
}

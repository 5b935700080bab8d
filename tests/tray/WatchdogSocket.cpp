#include "WatchdogSocket.h"

#include "protocol/LittleEndian.h"
#include "protocol/MenuItemRecord.h"
#include "protocol/RequestHeader.h"

#include <QHostAddress>
#include <QTest>

QByteArray requestBytes(std::uint16_t type, const QByteArray &payload, std::int32_t length)
{
    const RequestHeader::Bytes header = RequestHeader{type, length}.encode();
    return QByteArray(reinterpret_cast<const char *>(header.data()), static_cast<qsizetype>(header.size())) + payload;
}

QByteArray menuItemPayload(const std::u16string &caption, std::int32_t itemId)
{
    MenuItemRecord record;
    record.caption = caption;
    record.itemId = itemId;
    const MenuItemRecord::Bytes bytes = record.encode();
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

WatchdogSocket::WatchdogSocket(quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    // Until the attempt has ended, either way.
    [[maybe_unused]] const bool ended = QTest::qWaitFor(
        [this] {
            const auto state = socket.state();
            return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState;
        },
        3000);
    connected = socket.state() == QAbstractSocket::ConnectedState;
}

void WatchdogSocket::sendRaw(const QByteArray &bytes)
{
    socket.write(bytes);
    socket.flush();
}

void WatchdogSocket::sendRequest(std::uint16_t type, const QByteArray &payload)
{
    sendRaw(requestBytes(type, payload, static_cast<std::int32_t>(payload.size())));
}

std::optional<std::int32_t> WatchdogSocket::addButton(std::int32_t buttonId)
{
    QByteArray payload(4, '\0');
    wire::putInt32(reinterpret_cast<std::uint8_t *>(payload.data()), buttonId);
    sendRequest(ADD_OEM_BUTTON, payload);
    return answer();
}

std::optional<std::int32_t> WatchdogSocket::addMenuItem(const std::u16string &caption)
{
    sendRequest(ADD_MENU_ITEM, menuItemPayload(caption, 0));
    return answer();
}

std::optional<std::int32_t> WatchdogSocket::removeMenuItem(std::int32_t itemId)
{
    sendRequest(REMOVE_MENU_ITEM, menuItemPayload(u"", itemId));
    return answer();
}

std::optional<std::int32_t> WatchdogSocket::answer()
{
    const auto message = next();
    if (!message || message->type != REQUEST_RESULT)
        return std::nullopt;
    return message->value;
}

void WatchdogSocket::readAvailable()
{
    received += socket.readAll();
}

std::optional<ResponseHeader> WatchdogSocket::next(int timeoutMs)
{
    const auto size = static_cast<qsizetype>(ResponseHeader::Size);
    if (!QTest::qWaitFor(
            [this, size] {
                readAvailable();
                return received.size() >= size;
            },
            timeoutMs))
        return std::nullopt;
    const ResponseHeader header = ResponseHeader::decode(reinterpret_cast<const std::uint8_t *>(received.constData()));
    received.remove(0, size);
    return header;
}

bool WatchdogSocket::waitClosed(int timeoutMs)
{
    return QTest::qWaitFor(
        [this] {
            readAvailable();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}

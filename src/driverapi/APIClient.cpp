#include "APIClient.h"

#include "APIEventHandler.h"
#include "protocol/DriverMessageReader.h"
#include "protocol/RequestHeader.h"
#include "protocol/ResponseHeader.h"
#include "protocol/LittleEndian.h"
#include "protocol/Channel.h"

#include <QDebug>

#include <array>
#include <chrono>
#include <cstring>

namespace net = platform::net;
namespace channel = protocol::channel;

namespace {

// Any name that resolves to this machine will do; the driver listens there.
const char *const LoopbackHostName = "localhost";
// A driver that stops reading must not hold the requesting thread for ever.
constexpr int SendTimeoutMs = 5000;

} // namespace

APIClient::APIClient(APIEventHandler *eventHandler) : APIClient(eventHandler, protocol::driverChannel())
{
}

APIClient::APIClient(APIEventHandler *eventHandler, std::uint16_t serverPort)
    : APIClient(eventHandler, protocol::ChannelAddress::loopbackTcp(serverPort))
{
}

APIClient::APIClient(APIEventHandler *eventHandler, protocol::ChannelAddress serverAddress)
    : QThread(nullptr), handler(eventHandler), server(std::move(serverAddress))
{
}

APIClient::~APIClient()
{
    requestStop();
    disconnectFromServer();
    wait();
}

std::shared_ptr<SocketConnection> APIClient::connection() const
{
    std::lock_guard locker(socketMutex);
    return socket;
}

bool APIClient::isConnected() const
{
    return connected;
}

int APIClient::menuItemId() const
{
    return storedMenuItemId;
}

bool APIClient::initialize()
{
    const net::SocketHandle handle = channel::openSocket(server);
    if (handle == net::InvalidSocket) {
        qDebug() << "<APIClient::initialize()> Socket creation for BVDriver Client communication failed.";
        return false;
    }
    // A Unix socket is found by its path; only the TCP port needs a name.
    std::optional<std::uint32_t> resolved = net::LoopbackAddress;
    if (!server.isLocal())
        resolved = net::resolveIPv4(LoopbackHostName);
    if (!resolved) {
        net::closeSocket(handle);
        return false;
    }
    std::lock_guard locker(socketMutex);
    socket = std::make_shared<SocketConnection>(handle);
    address = resolved;
    return true;
}

bool APIClient::connectToServer()
{
    if (connected) {
        qDebug() << "<APIClient::connectToServer> already connected to Brivara Driver server.";
        return true;
    }
    if (!initialize()) {
        qDebug() << "<APIClient::connectToServer()> socket initialization failed.";
        return false;
    }
    std::shared_ptr<SocketConnection> candidate;
    std::uint32_t serverAddress = 0;
    {
        std::lock_guard locker(socketMutex);
        candidate = socket;
        serverAddress = address.value_or(net::LoopbackAddress);
    }
    const auto forget = [this, &candidate] {
        std::lock_guard locker(socketMutex);
        if (socket == candidate) {
            socket.reset(); // closes the descriptor
            address.reset();
        }
    };
    const bool reached = server.isLocal() ? channel::connect(candidate->handle(), server)
                                          : net::connectTo(candidate->handle(), serverAddress, server.port);
    if (!reached) {
        qDebug() << "<APIClient::connectToServer()> Could not connect to the Brivara Server.";
        forget();
        return false;
    }
    // Whoever holds the driver's address gets our menu item and buttons and
    // can make us start the viewer: it must be our own user's program.
    if (std::string why; !channel::listenerIsOurs(candidate->handle(), server, why)) {
        // Once, not at every check of the connection.
        if (!refusalLogged)
            qDebug().noquote() << "<APIClient::connectToServer()> Connection refused:" << QString::fromStdString(why);
        refusalLogged = true;
        forget();
        return false;
    }
    refusalLogged = false;
    net::setSendTimeout(candidate->handle(), SendTimeoutMs);
    connected = true;
    return true;
}

bool APIClient::disconnectFromServer()
{
    std::shared_ptr<SocketConnection> ending;
    {
        std::lock_guard locker(socketMutex);
        ending = std::move(socket);
        address.reset();
    }
    // Shutting down both directions wakes the receive thread at once; the
    // descriptor is closed once, when the last thread using it lets go.
    if (ending)
        ending->shutdown();
    connected = false;
    wakeWaitingRequests();
    return true;
}

void APIClient::abortRequests()
{
    {
        std::lock_guard locker(answerMutex);
        requestsAborted = true;
    }
    // Also ends a send that a stalled driver holds up.
    disconnectFromServer();
}

void APIClient::wakeWaitingRequests()
{
    // No answer comes on a connection that has ended: its waiters need not
    // sit out their time-out.
    std::lock_guard locker(answerMutex);
    ++disconnections;
    answerReady.notify_all();
}

void APIClient::startClient()
{
    // The thread of an earlier connection may still be on its way out.
    if (isRunning())
        wait();
    stopRequested = false;
    start(QThread::InheritPriority);
}

void APIClient::requestStop()
{
    stopRequested = true;
}

void APIClient::run()
{
    handleCommunication();
}

void APIClient::storeAnswer(std::int32_t value)
{
    // Counted under the answer lock, so that an answer that arrives between
    // the send and the start of the wait still ends it.
    std::lock_guard locker(answerMutex);
    answer = value;
    ++answersReceived;
    answerReady.notify_all();
}

void APIClient::handleCommunication()
{
    const std::shared_ptr<SocketConnection> link = connection();
    if (!link)
        return;
    int receiveError = 0;
    DriverMessageReader reader([&link, &receiveError](void *buffer, std::size_t size) {
        const long got = link->receiveSome(buffer, size);
        if (got < 0)
            receiveError = net::lastError();
        return got;
    });

    const auto endConnection = [this, &link] {
        if (connection() == link)
            disconnectFromServer();
    };

    for (;;) {
        const DriverMessageReader::Result message = reader.next();
        if (link->isShutDown() && message.status != DriverMessageReader::Status::Message)
            return; // we ended this connection ourselves: nothing to report

        switch (message.status) {
        case DriverMessageReader::Status::ReceiveError:
            qDebug() << "<APIClient::handleCommunication()> failed to read data.";
            handler->handleDisconnection(receiveError);
            endConnection();
            return;
        case DriverMessageReader::Status::Closed:
            handler->handleDisconnection(-1);
            qDebug() << "<APIClient::handleCommunication()> handle disconnect.";
            endConnection();
            return;
        case DriverMessageReader::Status::ProtocolError:
            // A negative length leaves no way to find the next message.
            qDebug() << "<APIClient::handleCommunication()> invalid message length: " << message.header.length;
            handler->handleDisconnection(-1);
            endConnection();
            return;
        case DriverMessageReader::Status::Message:
            break;
        }

        const ResponseHeader &header = message.header;
        switch (header.type) {
        case REQUEST_RESULT:
            storeAnswer(header.value);
            break;
        case DRIVER_EXIT:
            handler->handleBrivaraDriverExit();
            break;
        case MENU_ITEM_CLICKED:
            handler->handleMenuItemClicked(header.value);
            break;
        case OEM_BUTTON_PRESSED:
            handler->handleOemBtnPressed(header.value);
            break;
        default:
            qDebug() << "<APIClient::handleCommunication()> ResponseType(default): " << header.type;
            break;
        }

        if (message.closedAfterMessage) {
            if (link->isShutDown())
                return;
            handler->handleDisconnection(-1);
            qDebug() << "<APIClient::handleCommunication()> handle disconnect.";
            endConnection();
            return;
        }
        if (stopRequested)
            return;
    }
}

// ---- requests (dispatch thread) -------------------------------------------

APIClient::Exchange APIClient::exchange(const unsigned char *request, std::size_t size)
{
    Exchange result;
    std::uint64_t answersBefore = 0;
    std::uint64_t disconnectionsBefore = 0;
    {
        std::lock_guard locker(answerMutex);
        if (requestsAborted)
            return result;
        answersBefore = answersReceived;
        disconnectionsBefore = disconnections;
    }
    // Taken after the counts: a disconnection from here on ends the wait.
    const std::shared_ptr<SocketConnection> link = connection();
    if (!connected || !link || link->isShutDown())
        return result;
    const bool sent = link->sendAll(request, size);

    std::unique_lock locker(answerMutex);
    if (!sent) {
        // A send cut short by our own disconnection is no failure of the driver.
        result.outcome = disconnections != disconnectionsBefore ? Exchange::Disconnected : Exchange::SendFailed;
        return result;
    }
    answerReady.wait_for(locker, std::chrono::milliseconds(answerTimeoutMs), [&] {
        return answersReceived != answersBefore || disconnections != disconnectionsBefore || requestsAborted;
    });
    if (answersReceived != answersBefore) {
        result.outcome = Exchange::Answered;
        result.value = answer;
    } else if (disconnections != disconnectionsBefore || requestsAborted) {
        result.outcome = Exchange::Disconnected;
    } else {
        result.outcome = Exchange::TimedOut;
    }
    return result;
}

bool APIClient::sendMenuRequest(std::uint16_t type, const MenuItemRecord &record)
{
    std::lock_guard oneAtATime(requestLock);
    std::array<unsigned char, RequestHeader::Size + MenuItemRecord::Size> message{};
    const RequestHeader::Bytes header =
        RequestHeader{type, static_cast<std::int32_t>(MenuItemRecord::Size)}.encode();
    const MenuItemRecord::Bytes payload = record.encode();
    std::memcpy(message.data(), header.data(), header.size());
    std::memcpy(message.data() + header.size(), payload.data(), payload.size());

    const bool add = type == ADD_MENU_ITEM;
    const Exchange result = exchange(message.data(), message.size());
    switch (result.outcome) {
    case Exchange::NotConnected:
    case Exchange::Disconnected:
        return false;
    case Exchange::SendFailed:
        disconnectFromServer();
        return false;
    case Exchange::TimedOut:
        if (add)
            qDebug() << "<APIClient::addBVDOCCAMConfigurationMenuItem()> increase trial count: " << 0;
        else
            qDebug() << "<APIClient::removeBVDOCCAMConfigurationMenuItem()> increase trial count: " << 0;
        return false;
    case Exchange::Answered:
        break;
    }
    if (result.value == -1)
        return false;
    storedMenuItemId = result.value;
    if (add)
        qDebug() << "<APIClient::addBVDOCCAMConfigurationMenuItem()> addMenuItem response: " << result.value;
    else
        qDebug() << "<APIClient::removeBVDOCCAMConfigurationMenuItem()> removeMenuItem response: "
                 << result.value;
    return true;
}

bool APIClient::addBVDOCCAMConfigurationMenuItem(const MenuItemRecord &record)
{
    return sendMenuRequest(ADD_MENU_ITEM, record);
}

bool APIClient::removeBVDOCCAMConfigurationMenuItem(const MenuItemRecord &record)
{
    return sendMenuRequest(REMOVE_MENU_ITEM, record);
}

bool APIClient::addOEMButton(int id)
{
    std::lock_guard oneAtATime(requestLock);
    std::array<unsigned char, RequestHeader::Size + 4> message{};
    const RequestHeader::Bytes header = RequestHeader{ADD_OEM_BUTTON, 4}.encode();
    std::memcpy(message.data(), header.data(), header.size());
    wire::putInt32(message.data() + header.size(), id);

    const Exchange result = exchange(message.data(), message.size());
    switch (result.outcome) {
    case Exchange::NotConnected:
    case Exchange::Disconnected:
    case Exchange::TimedOut:
        return false;
    case Exchange::SendFailed:
        qDebug() << "<APIClient::addOEMButton()> addOEMButton handle disconnection.";
        handler->handleDisconnection(-1);
        disconnectFromServer();
        return false;
    case Exchange::Answered:
        break;
    }
    return result.value == id;
}

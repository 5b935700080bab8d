#include "ManageWatchDogServer.h"

#include "WDServer.h"
#include "protocol/WatchdogCommand.h"
#include "protocol/WatchdogMessage.h"
#include "protocol/StreamReading.h"

#include <QDebug>

ManageWatchDogServer::ManageWatchDogServer(WDServer *watchdogServer)
    : QThread(nullptr), server(watchdogServer)
{
}

ManageWatchDogServer::~ManageWatchDogServer()
{
    wait();
}

void ManageWatchDogServer::requestStop()
{
    stopRequested = true;
}

void ManageWatchDogServer::run()
{
    stopRequested = false;
    WatchdogMessage::Bytes record{};
    for (;;) {
        const std::shared_ptr<SocketConnection> connection = server->currentConnection();
        if (!connection) {
            if (stopRequested || server->connectionThreadMayEnd(nullptr))
                return;
            continue;
        }

        // A record that arrives in pieces is collected whole before it is
        // read, so the next one starts in step.
        const wire::FillResult got = wire::receiveFully(
            [&connection](void *buffer, std::size_t size) { return connection->receiveSome(buffer, size); },
            record.data(), record.size());
        if (stopRequested)
            return;

        if (got.complete()) {
            handleRecord(record);
            if (stopRequested)
                return;
            continue;
        }

        if (connection != server->currentConnection()) {
            // A newer viewer replaced this connection: serve that one.
            continue;
        }
        if (got.received > 0)
            qDebug() << "<ManageWatchDogServer::run()> incomplete record dropped, bytes:" << got.received;

        if (got.lastResult < 0) {
            qDebug() << "<ManageWatchDogServer::run()> ERROR in receiving rlen size = " << got.lastResult;
            emit server->WatchdogZoomApplicationClose();
            server->closeConnection(connection);
        } else {
            server->turnOffLightOnDisconnect(connection);
            emit server->WatchdogZoomApplicationClose();
            qDebug() << "<ManageWatchDogServer::run()> client disconnecting.";
            server->closeConnection(connection);
        }
        if (server->connectionThreadMayEnd(connection))
            return;
        // A new viewer connected while this one was going: to everyone else
        // it is a fresh start.
        emit server->startTesselApplicationSignalEmit();
    }
}

void ManageWatchDogServer::handleRecord(const WatchdogMessage::Bytes &record)
{
    WatchdogMessage message = WatchdogMessage::decode(record);

    if (message.request != 1) {
        qDebug() << "<ManageWatchDogServer::run()> RESPONSE_WD Command=" << message.command;
        return;
    }
    const int command = message.command;
    if (!watchdog_commands::isHandledRequest(command))
        return;

    server->processViewerRequest(command, message);
    // A rotation is carried out and never answered.
    if (command == ROTATE)
        return;
    if (!server->SignalActionToZoomApplication(message))
        qDebug() << "<ManageWatchDogServer::run()> SignalActionToZoomApplication sent failed.";
}

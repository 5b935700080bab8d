#include "SingleViewer.h"

#include "platform/Platform.h"

#include <QDebug>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

SingleViewer::SingleViewer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = server.nextPendingConnection()) {
            peer->deleteLater(); // the connection is the whole message
            qDebug().noquote() << "<SingleViewer> another start: coming to the front";
            emit raiseRequested();
        }
    });
}

QString SingleViewer::socketPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/tessel-viewer.sock");
}

bool SingleViewer::claim()
{
    lock = platform::current().createInstanceLock("TesselViewer_SingleInstance");
    const platform::InstanceLock::Outcome outcome = lock ? lock->acquire() : platform::InstanceLock::Outcome::Failed;
    if (outcome == platform::InstanceLock::Outcome::AlreadyHeld) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        // Before the event loop runs: nothing else waits meanwhile.
        const bool told = socket.waitForConnected(1000);
        qDebug().noquote() << "<SingleViewer> a viewer runs already" << (told ? "and comes to the front" : "(not answering)");
        return false;
    }
    // Without a lock (no runtime folder) the viewer still runs.
    QLocalServer::removeServer(socketPath());
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(socketPath()))
        qDebug().noquote() << "<SingleViewer> cannot listen on" << socketPath() << server.errorString();
    return true;
}

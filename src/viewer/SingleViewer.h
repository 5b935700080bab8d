#pragma once

#include "platform/InstanceLock.h"

#include <QLocalServer>
#include <QObject>

#include <memory>

// One viewer per user: two copies would take the watchdog's connection from
// each other and find the camera busy. The first copy holds the instance
// lock and listens on a socket in the user's runtime folder; a second start
// asks it to come to the front and ends.
class SingleViewer : public QObject
{
    Q_OBJECT

public:
    explicit SingleViewer(QObject *parent = nullptr);

    // True for the one viewer; false when another runs (it was asked to
    // come forward, and this copy should end).
    bool claim();

signals:
    void raiseRequested();

private:
    static QString socketPath();

    std::unique_ptr<platform::InstanceLock> lock;
    QLocalServer server;
};

#pragma once

#include "CameraLocator.h"
#include "CameraPipeline.h"

#include <QObject>
#include <QString>

// Where the picture comes from: a camera opened by its device node. The
// viewer's CameraFeed streams it through GStreamer; tests hand the
// controller a fake.
class CameraSource : public QObject
{
    Q_OBJECT

public:
    enum class Trouble {
        Busy,    // another program has the camera
        Stopped, // the camera stopped sending pictures
    };

    using QObject::QObject;

    // Starts the camera on this device node; false when the node cannot be
    // opened (yet): a camera that was just plugged in may take a moment to
    // appear.
    virtual bool open(const CameraLocator::VideoNode &node) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString node() const = 0;
    // Starts the open camera's stream afresh (after the system resumed).
    virtual void reopen() {}

signals:
    void frameArrived(const CameraFrame &frame);
    // The open camera is in trouble; it is tried again by itself.
    void trouble(CameraSource::Trouble trouble, const QString &detail);
    // Frames come again after trouble.
    void streaming();
    // The open camera stopped working for good (unplugged).
    void failed(const QString &reason);
    // The list of cameras changed: a camera that was not listed may be now.
    void camerasChanged();
};

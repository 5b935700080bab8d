#pragma once

#include "CameraLocator.h"

#include <QImage>
#include <QObject>
#include <QString>

// Where the picture comes from: a camera opened by its device node. The
// viewer's CameraFeed is the Qt Multimedia one; tests hand the controller a
// fake.
class CameraSource : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the camera on this device node; false when no such camera is
    // listed (yet): a camera that was just plugged in may take a moment to
    // appear.
    virtual bool open(const CameraLocator::VideoNode &node) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString node() const = 0;

signals:
    void frameArrived(const QImage &frame);
    // The open camera stopped working (unplugged, busy, broken).
    void failed(const QString &reason);
    // The list of cameras changed: a camera that was not listed may be now.
    void camerasChanged();
};

#pragma once

#include "CameraSource.h"

#include <QCamera>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QVideoSink>

#include <memory>

class ViewerSettings;

// The camera through Qt Multimedia: finds the camera whose id is the
// device node (the GStreamer backend names cameras by their node), opens it
// in the format FormatChooser picks, and hands on every frame as an image.
class CameraFeed : public CameraSource
{
    Q_OBJECT

public:
    explicit CameraFeed(ViewerSettings &settings, QObject *parent = nullptr);
    ~CameraFeed() override;

    bool open(const CameraLocator::VideoNode &node) override;
    void close() override;
    bool isOpen() const override { return camera != nullptr; }
    QString node() const override { return openNode; }

private:
    void onFrame(const QVideoFrame &frame);

    ViewerSettings &settings;
    QMediaDevices devices;
    QMediaCaptureSession session;
    QVideoSink sink;
    std::unique_ptr<QCamera> camera;
    QString openNode;
};

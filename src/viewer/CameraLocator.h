#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace platform {
class VideoDevices;
}

// Finds the camera that the watchdog means. Its answer to VIDEO_DEVICE_LIST
// names the camera by its position among the system's video input devices,
// counted the watchdog's way (the platform's VideoDevices); this turns the
// position into the device node and its name, and those into one of the
// cameras Qt Multimedia lists.
class CameraLocator
{
public:
    struct VideoNode
    {
        QString node; // "/dev/video2"
        QString name; // the device's name, as its driver gives it
        QString usbIds; // "7a3e:4b10", empty for a camera not on USB

        // What the viewer remembers a camera by: its USB ids and name, not
        // its node, which changes between plug-ins.
        QString key() const { return usbIds.isEmpty() ? name : usbIds + QLatin1Char(' ') + name; }
    };
    struct ListedCamera
    {
        QByteArray id;
        QString description;
    };

    explicit CameraLocator(platform::VideoDevices &videoDevices);

    // /dev/video2 for position 1 when the system's video input devices are
    // /dev/video0 and /dev/video2; nothing when the position is out of
    // range or its device has no readable path.
    std::optional<VideoNode> nodeForIndex(int deviceIndex) const;
    // Index into cameras of the camera on that node. Qt names a camera by
    // its node where the backend does (GStreamer up to Qt 6.4.1); Debian's
    // Qt 6.4.2 numbers them instead, so a camera of the node's name is the
    // next best: the first one, as a camera may be listed more than once.
    static std::optional<qsizetype> cameraFor(const VideoNode &node, const QList<ListedCamera> &cameras);

private:
    platform::VideoDevices &videoDevices;
};

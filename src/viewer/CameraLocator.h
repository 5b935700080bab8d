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
// position into the device node, its name and its USB ids.
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
    explicit CameraLocator(platform::VideoDevices &videoDevices);

    // /dev/video2 for position 1 when the system's video input devices are
    // /dev/video0 and /dev/video2; nothing when the position is out of
    // range or its device has no readable path.
    std::optional<VideoNode> nodeForIndex(int deviceIndex) const;
    // The first video input device with these USB ids ("7a3e:4b10"): how the
    // viewer finds its camera when no watchdog names it.
    std::optional<VideoNode> nodeForUsbIds(const QString &usbIds) const;

    // The path text as VideoDevices lists it, taken apart; nothing when it
    // names no device node.
    static std::optional<VideoNode> parse(const QString &pathText);

private:
    platform::VideoDevices &videoDevices;
};

#include "CameraLocator.h"

#include "platform/VideoDevices.h"

CameraLocator::CameraLocator(platform::VideoDevices &videoDevices)
    : videoDevices(videoDevices)
{
}

std::optional<CameraLocator::VideoNode> CameraLocator::nodeForIndex(int deviceIndex) const
{
    // Counted as the watchdog counted when it named the index.
    const std::vector<std::string> paths = platform::indexedDevicePaths(videoDevices.listDevicePaths());
    if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= paths.size())
        return std::nullopt;
    return parse(QString::fromStdString(paths[static_cast<std::size_t>(deviceIndex)]));
}

std::optional<CameraLocator::VideoNode> CameraLocator::nodeForUsbIds(const QString &usbIds) const
{
    for (const std::string &path : platform::indexedDevicePaths(videoDevices.listDevicePaths()))
        if (std::optional<VideoNode> node = parse(QString::fromStdString(path));
            node && node->usbIds.compare(usbIds, Qt::CaseInsensitive) == 0)
            return node;
    return std::nullopt;
}

std::optional<CameraLocator::VideoNode> CameraLocator::parse(const QString &text)
{
    // The path text: the node, the USB ids when the device has them
    // ("usb#vid_7a3e&pid_4b10"), then the name, which may hold spaces.
    VideoNode found;
    found.node = text.section(QLatin1Char(' '), 0, 0);
    if (!found.node.startsWith(QLatin1String("/dev/")))
        return std::nullopt;
    QString rest = text.section(QLatin1Char(' '), 1);
    if (rest.startsWith(QLatin1String("usb#"))) {
        const QString ids = rest.section(QLatin1Char(' '), 0, 0); // usb#vid_7a3e&pid_4b10
        const qsizetype vendor = ids.indexOf(QLatin1String("vid_"));
        const qsizetype product = ids.indexOf(QLatin1String("pid_"));
        if (vendor >= 0 && product >= 0)
            found.usbIds = ids.mid(vendor + 4, 4) + QLatin1Char(':') + ids.mid(product + 4, 4);
        rest = rest.section(QLatin1Char(' '), 1);
    }
    found.name = rest;
    return found;
}

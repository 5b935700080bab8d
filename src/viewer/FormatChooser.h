#pragma once

#include "platform/CameraDevice.h"

#include <QList>
#include <QSize>

#include <optional>

// Picks the camera modes the viewer uses, for paper under a document
// camera. Only pixel formats the viewer turns into pictures itself count
// (YUYV, UYVY, NV12, I420 and MJPEG); an H.264 or unknown format is passed
// over.
//
// Live view: the largest mode at 15 frames a second or more in the camera's
// own aspect ratio (that of its largest mode; a 16:9 video mode of a 4:3
// sensor is cropped), MJPEG above 640x480 (uncompressed frames that large
// fill USB 2.0), uncompressed at or below it (nothing to decode). A mode
// the user chose (size and rate) wins while the camera offers it.
//
// Capture: the largest mode of all, at any rate.
class FormatChooser
{
public:
    using Mode = platform::CameraMode;

    struct Choice
    {
        QSize size;
        double rate = 0;
    };

    static constexpr double MinimumFrameRate = 14.5; // 15, and 30000/1001 style rates
    static constexpr int LargestUncompressedPixels = 640 * 480;

    static bool usable(const Mode &mode);
    static std::optional<qsizetype> live(const QList<Mode> &modes, const std::optional<Choice> &chosen = std::nullopt);
    static std::optional<qsizetype> largest(const QList<Mode> &modes);
    // The choices a menu offers: each usable size and rate once, largest
    // first.
    static QList<Choice> choices(const QList<Mode> &modes);

    // "MJPG", "YUYV": the fourcc as text.
    static QString formatName(std::uint32_t pixelFormat);
};

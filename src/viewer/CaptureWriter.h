#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

// Writes a captured picture into a folder under a timestamped name
// ("Tessel 2026-12-08 14-05-09.jpg", a counter added when that name is
// taken). The file appears whole or not at all: a failure leaves no half
// file and says why. Runs on any thread.
class CaptureWriter
{
public:
    enum class Format { Png, Jpeg };

    struct Result
    {
        bool saved = false;
        QString path;  // the file written, or the one that could not be
        QString error; // why not, for the user
    };

    // An image, encoded here.
    static Result write(const QImage &picture, const QString &folder, Format format,
                        const QDateTime &when = QDateTime::currentDateTime());
    // A JPEG as it is (the camera's own bytes).
    static Result writeJpeg(const QByteArray &jpeg, const QString &folder,
                            const QDateTime &when = QDateTime::currentDateTime());
};

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

    // Why a picture was not written, in words the window translates.
    enum class Problem { None, Folder, Permission, Write, Encode };

    struct Result
    {
        bool saved = false;
        QString path;  // the file written, or the one that could not be
        Problem problem = Problem::None;
        QString error; // the system's own words, for the log
    };

    // An image, encoded here.
    static Result write(const QImage &picture, const QString &folder, Format format,
                        const QDateTime &when = QDateTime::currentDateTime());
    // A JPEG as it is (the camera's own bytes).
    static Result writeJpeg(const QByteArray &jpeg, const QString &folder,
                            const QDateTime &when = QDateTime::currentDateTime());
};

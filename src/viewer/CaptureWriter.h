#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

// Writes a captured picture into a folder under a timestamped name
// ("Tessel 2026-12-08 14-05-09.png", a counter added when that name is
// taken). The file appears whole or not at all: a failure leaves no half
// file and says why.
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

    static Result write(const QImage &picture, const QString &folder, Format format,
                        const QDateTime &when = QDateTime::currentDateTime());
};

#include "CaptureWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString suffix(CaptureWriter::Format format)
{
    return format == CaptureWriter::Format::Png ? QStringLiteral("png") : QStringLiteral("jpg");
}

} // namespace

CaptureWriter::Result CaptureWriter::write(const QImage &picture, const QString &folder, Format format,
                                           const QDateTime &when)
{
    Result result;
    QDir directory(folder);
    if (!directory.exists() && !directory.mkpath(QStringLiteral("."))) {
        result.path = folder;
        result.error = QStringLiteral("the folder cannot be made");
        return result;
    }
    const QString stem = QStringLiteral("Tessel ") + when.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    QString name = stem + QLatin1Char('.') + suffix(format);
    for (int copy = 2; directory.exists(name); ++copy)
        name = stem + QStringLiteral(" (%1).").arg(copy) + suffix(format);
    result.path = directory.filePath(name);

    QSaveFile file(result.path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    if (!picture.save(&file, format == Format::Png ? "PNG" : "JPEG", format == Format::Png ? -1 : 92)) {
        file.cancelWriting();
        result.error = file.error() != QFileDevice::NoError ? file.errorString()
                                                            : QStringLiteral("the picture cannot be encoded");
        return result;
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.saved = true;
    return result;
}

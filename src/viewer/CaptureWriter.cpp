#include "CaptureWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <functional>

namespace {

QString suffix(CaptureWriter::Format format)
{
    return format == CaptureWriter::Format::Png ? QStringLiteral("png") : QStringLiteral("jpg");
}

CaptureWriter::Result writeFile(const QString &folder, CaptureWriter::Format format, const QDateTime &when,
                                const std::function<bool(QSaveFile &)> &fill)
{
    CaptureWriter::Result result;
    QDir directory(folder);
    if (!directory.exists() && !directory.mkpath(QStringLiteral("."))) {
        result.path = folder;
        result.problem = CaptureWriter::Problem::Folder;
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
        result.problem = file.error() == QFileDevice::PermissionsError || !QFileInfo(folder).isWritable()
                             ? CaptureWriter::Problem::Permission
                             : CaptureWriter::Problem::Folder;
        result.error = file.errorString();
        return result;
    }
    if (!fill(file)) {
        file.cancelWriting();
        result.problem = file.error() != QFileDevice::NoError ? CaptureWriter::Problem::Write : CaptureWriter::Problem::Encode;
        result.error = file.error() != QFileDevice::NoError ? file.errorString()
                                                            : QStringLiteral("the picture cannot be encoded");
        return result;
    }
    if (!file.commit()) {
        result.problem = CaptureWriter::Problem::Write;
        result.error = file.errorString();
        return result;
    }
    result.saved = true;
    return result;
}

} // namespace

CaptureWriter::Result CaptureWriter::write(const QImage &picture, const QString &folder, Format format,
                                           const QDateTime &when)
{
    return writeFile(folder, format, when, [&](QSaveFile &file) {
        return picture.save(&file, format == Format::Png ? "PNG" : "JPEG", format == Format::Png ? -1 : 92);
    });
}

CaptureWriter::Result CaptureWriter::writeJpeg(const QByteArray &jpeg, const QString &folder, const QDateTime &when)
{
    return writeFile(folder, Format::Jpeg, when, [&](QSaveFile &file) { return file.write(jpeg) == jpeg.size(); });
}

#include "PdfExport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

PdfExport::PdfExport(QObject *parent) : QObject(parent), scanProgram(findScanProgram())
{
    writer.setMaxThreadCount(1);
}

PdfExport::~PdfExport()
{
    if (process && process->state() != QProcess::NotRunning) {
        // The window is going: the command must not outlive it unseen.
        process->terminate();
        process->waitForFinished(3000);
    }
    writer.waitForDone();
}

QString PdfExport::findScanProgram()
{
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {here + QStringLiteral("/tessel-scan"), here + QStringLiteral("/../bin/tessel-scan")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    return QStandardPaths::findExecutable(QStringLiteral("tessel-scan"));
}

QString PdfExport::defaultTarget()
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    const QString name = QStringLiteral("Scan %1.pdf").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
    return QDir(documents).filePath(name);
}

bool PdfExport::start(const QList<QImage> &pages, const QString &target)
{
    if (active || pages.isEmpty())
        return false;
    if (scanProgram.isEmpty()) {
        emit failed(tr("tessel-scan was not found"));
        return false;
    }
    // A user's first scan: the Documents folder may not be there yet.
    const QString targetFolder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(targetFolder)) {
        qDebug().noquote() << "<PdfExport> cannot create" << targetFolder;
        emit failed(tr("the folder %1 cannot be created").arg(targetFolder));
        return false;
    }
    folder = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("tessel-scan-XXXXXX")));
    if (!folder->isValid()) {
        emit failed(folder->errorString());
        folder.reset();
        return false;
    }
    active = true;
    cancelRequested = false;
    targetFile = target;
    pageCount = int(pages.size());
    errors.clear();
    pendingOutput.clear();
    qDebug().noquote() << QStringLiteral("<PdfExport> writing %1 pages to %2").arg(pageCount).arg(target);
    const QString path = folder->path();
    writer.start([this, pages, path] {
        QStringList files;
        QString error;
        for (int index = 0; index < pages.size() && error.isEmpty(); ++index) {
            const QString file = QDir(path).filePath(QStringLiteral("page-%1.png").arg(index + 1, 3, 10, QLatin1Char('0')));
            if (pages[index].save(file, "PNG", 1)) // little compression: the file lives for seconds
                files << file;
            else
                error = QStringLiteral("cannot write %1").arg(file);
        }
        QMetaObject::invokeMethod(this, [this, files, error] { onPagesWritten(files, error); }, Qt::QueuedConnection);
    });
    return true;
}

void PdfExport::onPagesWritten(const QStringList &files, const QString &error)
{
    if (!error.isEmpty()) {
        emit failed(error);
        finish();
        return;
    }
    if (cancelRequested) {
        emit cancelled();
        finish();
        return;
    }
    process = new QProcess(this);
    connect(process, &QProcess::readyReadStandardOutput, this, &PdfExport::onOutput);
    connect(process, &QProcess::readyReadStandardError, this, [this] { errors += process->readAllStandardError(); });
    connect(process, &QProcess::finished, this, &PdfExport::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError problem) {
        if (problem == QProcess::FailedToStart) {
            emit failed(process->errorString());
            finish();
        }
    });
    QStringList arguments{QStringLiteral("--prepared"), QStringLiteral("--progress")};
    arguments << files << QStringLiteral("-o") << targetFile;
    emit progress(0, pageCount);
    process->start(scanProgram, arguments);
}

void PdfExport::onOutput()
{
    static const QRegularExpression line(QStringLiteral("^page (\\d+)/(\\d+)$"));
    pendingOutput += process->readAllStandardOutput();
    qsizetype end;
    while ((end = pendingOutput.indexOf('\n')) >= 0) {
        const QString text = QString::fromUtf8(pendingOutput.left(end)).trimmed();
        pendingOutput.remove(0, end + 1);
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            emit progress(match.captured(1).toInt(), match.captured(2).toInt());
    }
}

void PdfExport::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    if (cancelRequested) {
        qDebug().noquote() << "<PdfExport> cancelled";
        emit cancelled();
    } else if (status == QProcess::NormalExit && exitCode == 0) {
        qDebug().noquote() << "<PdfExport> written" << targetFile;
        emit finished(targetFile);
    } else {
        const QString reason = QString::fromUtf8(errors).trimmed();
        qDebug().noquote() << "<PdfExport> failed:" << reason;
        emit failed(reason.isEmpty() ? QStringLiteral("tessel-scan exit status %1").arg(exitCode) : reason.section(QLatin1Char('\n'), -1));
    }
    finish();
}

void PdfExport::cancel()
{
    if (!active)
        return;
    cancelRequested = true;
    if (process && process->state() != QProcess::NotRunning)
        process->terminate();
}

void PdfExport::finish()
{
    active = false;
    if (process) {
        process->disconnect(this);
        process->deleteLater();
        process = nullptr;
    }
    folder.reset();
}

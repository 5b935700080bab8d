#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QThreadPool>

#include <memory>

class QTemporaryDir;

// Writes the kept pages into a searchable PDF without holding up the
// window: the pages go to a temporary folder as PNG on a worker thread, and
// recognition runs in `tessel-scan --prepared --progress`, a process of its
// own, whose "page N/M" lines feed the progress. Cancelling stops it
// (SIGTERM), and it leaves no partial file.
class PdfExport : public QObject
{
    Q_OBJECT

public:
    explicit PdfExport(QObject *parent = nullptr);
    ~PdfExport() override;

    // tessel-scan beside the viewer, in the build's bin folder, or on PATH;
    // empty when there is none.
    static QString findScanProgram();
    // A file in the user's Documents folder named by the date and time.
    static QString defaultTarget();

    void setProgram(const QString &program) { scanProgram = program; }
    bool running() const { return active; }
    // False (and nothing starts) while an export runs or with no pages.
    bool start(const QList<QImage> &pages, const QString &target);
    void cancel();

signals:
    void progress(int done, int total);
    void finished(const QString &file);
    void failed(const QString &reason);
    void cancelled();

private:
    void onPagesWritten(const QStringList &files, const QString &error);
    void onOutput();
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void finish();

    QString scanProgram;
    QString targetFile;
    std::unique_ptr<QTemporaryDir> folder;
    QProcess *process = nullptr;
    QByteArray pendingOutput;
    QByteArray errors;
    int pageCount = 0;
    bool active = false;
    bool cancelRequested = false;
    // Last: its destruction waits for pages being written.
    QThreadPool writer;
};

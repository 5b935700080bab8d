#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

class ScanPages;

// Keeps the scanned pages that no PDF holds yet on disk, as PNG files in
// the order of the page list, so that a crash, a logout or a power cut does
// not lose a lesson's worth of scanning; the next start offers them back.
// Writing runs on a worker of its own, one change after the other; the
// files follow the list a moment after each change and are gone once a PDF
// holds the pages or the list is empty.
class ScanRecovery : public QObject
{
    Q_OBJECT

public:
    // The folder belongs to this user's viewer alone (one viewer a user).
    // The pages must outlive the recovery, whose end writes the last
    // change that is still waiting.
    explicit ScanRecovery(ScanPages &pages, QString folder = defaultFolder(), QObject *parent = nullptr);
    ~ScanRecovery() override;

    static QString defaultFolder();

    // Pages an earlier run left behind, oldest first (their files). Until
    // they are restored or discarded, the files follow nothing, so that
    // pages scanned meanwhile cannot overwrite them.
    QStringList leftBehind() const { return earlier; }
    // Reads them on the worker and appends them to the page list;
    // restored() follows with how many could be read.
    void restore();
    void discard();
    // Tests: returns once every change so far is on disk.
    void waitForWrites();

signals:
    void restored(int count);

private:
    struct Page
    {
        qint64 key;
        QImage image;
    };

    void scheduleSync();
    void sync();
    static QStringList readOrder(const QString &folder);
    static void writePages(const QString &folder, const QList<Page> &pages);
    static void removeAll(const QString &folder);

    ScanPages &pages;
    const QString folder;
    QStringList earlier;
    bool following = false;
    bool syncQueued = false;
    // Last: its destruction waits for the write in progress.
    QThreadPool writer;
};

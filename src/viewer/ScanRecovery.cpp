#include "ScanRecovery.h"

#include "ScanPages.h"
#include "platform/linux/UserFolders.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

#include <sys/stat.h>

namespace {

// The page files in the order of the list, one name a line. Written last,
// by rename, so that it never names a file that is not complete.
const QString OrderFile = QStringLiteral("pages.txt");
const QString PagePattern = QStringLiteral("page-*.png");

QString pageName(qint64 key)
{
    return QStringLiteral("page-%1.png").arg(key);
}

} // namespace

ScanRecovery::ScanRecovery(ScanPages &pages, QString folder, QObject *parent)
    : QObject(parent), pages(pages), folder(std::move(folder))
{
    writer.setMaxThreadCount(1);
    earlier = readOrder(this->folder);
    following = earlier.isEmpty();
    if (!following)
        qDebug().noquote() << QStringLiteral("<ScanRecovery> %1 unsaved pages left behind in %2").arg(earlier.size()).arg(this->folder);
    connect(&pages, &ScanPages::changed, this, &ScanRecovery::scheduleSync);
    connect(&pages, &ScanPages::saved, this, &ScanRecovery::scheduleSync);
}

ScanRecovery::~ScanRecovery()
{
    // The last change, made just before the end, goes to disk too.
    if (syncQueued)
        sync();
    writer.waitForDone();
}

QString ScanRecovery::defaultFolder()
{
    // State worth keeping across a restart: the XDG state folder.
    const QString state = QString::fromStdString(platform::linux_backend::stateFolder());
    return state.isEmpty() ? QString() : state + QStringLiteral("/tessel/unsaved-scans");
}

QStringList ScanRecovery::readOrder(const QString &folder)
{
    QFile order(QDir(folder).filePath(OrderFile));
    if (folder.isEmpty() || !order.open(QIODevice::ReadOnly))
        return {};
    QStringList files;
    const QDir dir(folder);
    // A line that is not one of our page files (a damaged list) is skipped.
    for (const QByteArray &line : order.readAll().split('\n')) {
        const QString name = QString::fromUtf8(line.trimmed());
        if (QDir::match(PagePattern, name) && !name.contains(QLatin1Char('/')) && dir.exists(name))
            files << dir.filePath(name);
    }
    return files;
}

void ScanRecovery::restore()
{
    if (earlier.isEmpty())
        return;
    const QStringList files = earlier;
    const QString where = folder;
    writer.start([this, files, where] {
        QList<QImage> images;
        for (const QString &file : files) {
            QImage image(file);
            if (image.isNull())
                qDebug().noquote() << "<ScanRecovery> cannot read" << file;
            else
                images << image;
        }
        // The pages now live in the list again, and the files follow it
        // afresh from here.
        removeAll(where);
        QMetaObject::invokeMethod(this, [this, images] {
            earlier.clear();
            following = true;
            for (const QImage &image : images)
                pages.add(image);
            qDebug().noquote() << QStringLiteral("<ScanRecovery> %1 pages restored").arg(images.size());
            scheduleSync();
            emit restored(int(images.size()));
        }, Qt::QueuedConnection);
    });
}

void ScanRecovery::discard()
{
    if (earlier.isEmpty())
        return;
    qDebug().noquote() << QStringLiteral("<ScanRecovery> %1 pages left behind discarded").arg(earlier.size());
    earlier.clear();
    following = true;
    const QString where = folder;
    writer.start([where] { removeAll(where); });
    scheduleSync();
}

void ScanRecovery::waitForWrites()
{
    writer.waitForDone();
}

void ScanRecovery::scheduleSync()
{
    // A burst of changes (a drag, a delete of several) is written once.
    if (!following || syncQueued || folder.isEmpty())
        return;
    syncQueued = true;
    QTimer::singleShot(0, this, &ScanRecovery::sync);
}

void ScanRecovery::sync()
{
    syncQueued = false;
    const QString where = folder;
    if (!pages.unsaved()) {
        writer.start([where] { removeAll(where); });
        return;
    }
    // Images are shared, not copied: the snapshot costs nothing. A page
    // changed in the list is a new image with a key of its own.
    QList<Page> snapshot;
    for (int index = 0; index < pages.count(); ++index)
        snapshot.append({pages.page(index).cacheKey(), pages.page(index)});
    writer.start([where, snapshot] { writePages(where, snapshot); });
}

void ScanRecovery::writePages(const QString &folder, const QList<Page> &pages)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        qDebug().noquote() << "<ScanRecovery> cannot create" << folder;
        return;
    }
    ::chmod(QFile::encodeName(folder).constData(), 0700); // the user's pages are the user's
    QStringList names;
    for (const Page &page : pages) {
        const QString name = pageName(page.key);
        names << name;
        if (dir.exists(name))
            continue;
        // Little compression: the file is a safety copy, written often.
        QSaveFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || !page.image.save(&file, "PNG", 1) || !file.commit()) {
            qDebug().noquote() << "<ScanRecovery> cannot write" << dir.filePath(name) << file.errorString();
            return; // the last complete list stays
        }
    }
    QSaveFile order(dir.filePath(OrderFile));
    if (!order.open(QIODevice::WriteOnly) || order.write((names.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) < 0
        || !order.commit()) {
        qDebug().noquote() << "<ScanRecovery> cannot write" << dir.filePath(OrderFile) << order.errorString();
        return;
    }
    for (const QString &stale : dir.entryList({PagePattern}, QDir::Files))
        if (!names.contains(stale))
            dir.remove(stale);
}

void ScanRecovery::removeAll(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    dir.remove(OrderFile); // first: a list without its pages is never read
    for (const QString &page : dir.entryList({PagePattern}, QDir::Files))
        dir.remove(page);
}

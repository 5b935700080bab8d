#include "PageOutlineTracker.h"

#include <QDebug>
#include <QThread>
#include <QTimer>

namespace {

scan::PageFinder::Settings liveSettings()
{
    scan::PageFinder::Settings settings;
    // The outline is drawn on a picture made for the window: fitting the
    // corners at full size would cost more than it shows.
    settings.refineAtFullSize = false;
    return settings;
}

} // namespace

PageOutlineTracker::PageOutlineTracker(QObject *parent) : QObject(parent), finder(liveSettings())
{
    worker.setMaxThreadCount(1);
    worker.setObjectName(QStringLiteral("PageOutlineTracker"));
}

PageOutlineTracker::~PageOutlineTracker()
{
    worker.waitForDone();
}

void PageOutlineTracker::submit(const QImage &frame)
{
    if (frame.isNull())
        return;
    waiting = frame;
    startSearch();
}

void PageOutlineTracker::stop()
{
    waiting = QImage();
    ++generation; // an answer still on its way belongs to the old picture
}

void PageOutlineTracker::startSearch()
{
    if (searching || waiting.isNull())
        return;
    if (sinceStart.isValid() && sinceStart.elapsed() < MinimumIntervalMs) {
        if (!retryPending) {
            retryPending = true;
            QTimer::singleShot(MinimumIntervalMs - int(sinceStart.elapsed()), this, [this] {
                retryPending = false;
                startSearch();
            });
        }
        return;
    }
    searching = true;
    sinceStart.start();
    const QImage frame = std::exchange(waiting, QImage());
    const quint64 forGeneration = generation;
    worker.start([this, frame, forGeneration] {
        searchThread.store(QThread::currentThread());
        scan::FoundPage page;
        page.corners = scan::wholeFrame(frame.width(), frame.height());
        try {
            page = finder.find(frame);
        } catch (const std::exception &error) {
            // No exception may leave a pool thread; the frame counts as one without a page.
            qWarning().noquote() << "<PageOutlineTracker> page finding failed:" << error.what();
        }
        const QSize size = frame.size();
        QMetaObject::invokeMethod(
            this, [this, page, size, forGeneration] { onSearched(page, size, forGeneration); }, Qt::QueuedConnection);
    });
}

void PageOutlineTracker::onSearched(const scan::FoundPage &page, QSize frameSize, quint64 forGeneration)
{
    searching = false;
    if (forGeneration == generation)
        emit outlineFound(page, frameSize);
    startSearch();
}

#pragma once

#include "PageFinder.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QThreadPool>

#include <atomic>

class QThread;

// Follows the page in the live picture: the newest frame handed in is
// searched on a worker thread, one search at a time; frames arriving
// meanwhile replace each other, so the outline lags the picture by at most
// one search and the main thread never waits for the finder.
class PageOutlineTracker : public QObject
{
    Q_OBJECT

public:
    // Searches start no more often than this (about 8 a second), which
    // leaves the second core to the picture on a two-core machine.
    static constexpr int MinimumIntervalMs = 120;

    explicit PageOutlineTracker(QObject *parent = nullptr);
    ~PageOutlineTracker() override;

    // The frame is shared, not copied: QImage is copy-on-write and the
    // camera never writes into a frame it has handed out.
    void submit(const QImage &frame);
    // Drops the waiting frame; a search running finishes unheard.
    void stop();
    bool busy() const { return searching; }
    // The thread the last search ran on (tests: never the main thread).
    QThread *lastSearchThread() const { return searchThread.load(); }

signals:
    // Corners in the submitted frame's pixels.
    void outlineFound(const scan::FoundPage &page, QSize frameSize);

private:
    void startSearch();
    void onSearched(const scan::FoundPage &page, QSize frameSize, quint64 generation);

    scan::PageFinder finder;
    QImage waiting;
    QElapsedTimer sinceStart;
    bool searching = false;
    bool retryPending = false;
    quint64 generation = 0;
    std::atomic<QThread *> searchThread{nullptr};
    // Last: its destruction waits for a search still running.
    QThreadPool worker;
};

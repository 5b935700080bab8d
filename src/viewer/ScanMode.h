#pragma once

#include "PageOutlineTracker.h"
#include "ScanPages.h"
#include "ScanRecovery.h"
#include "ScanTexts.h"
#include "ScanTypes.h"

#include <QImage>
#include <QObject>
#include <QThreadPool>

class CameraFeed;
class CornerEditor;
class OutlineOverlay;
class PdfExport;
class ScanPagesPanel;
class QAction;
class QDockWidget;
class QMainWindow;
class QProgressDialog;
class VideoView;

// The viewer's scan mode: the page's outline follows the live picture; a
// capture takes the full-size still, finds the page in it and lets the user
// put its corners right; a kept page is straightened and cleaned and joins
// the page list, which is saved as a searchable PDF. Everything slow runs
// off the main thread (the finder, straightening, cleaning) or in a process
// of its own (recognition).
class ScanMode : public QObject
{
    Q_OBJECT

public:
    ScanMode(const ScanTexts &texts, QMainWindow &window, VideoView &view, CameraFeed &camera);
    ~ScanMode() override;

    QAction *action() const { return toggle; }
    bool active() const;
    // A frame of the live picture (as shown, unturned).
    void onFrame(const QImage &frame);
    // The capture button or key while active.
    void capture();
    // A still taken otherwise (the frozen picture), or by the tests.
    void adjust(const QImage &still);
    ScanPages &pages() { return kept; }
    ScanRecovery &recovery() { return unsavedCopy; }
    // Writes the pages to a new PDF in the user's Documents folder, as
    // "Save PDF" does; false when there is nothing to write or a PDF is
    // being written already.
    bool saveToDocuments();
    bool saving() const;
    CornerEditor *editor() const { return cornerEditor; }
    PdfExport *exporter() const { return pdfExport; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // The page list changed its length (tests, the window's status).
    void pageReady(int count);
    // A PDF was written (saved) or not (failed, or cancelled).
    void savingEnded(bool saved);

private:
    void setActive(bool on);
    void buildPageDock();
    void onKept(const QImage &still, const scan::PageCorners &corners);
    void closeEditor();
    bool save(const QString &target);

    const ScanTexts &texts;
    QMainWindow &window;
    VideoView &view;
    CameraFeed &camera;
    QAction *toggle = nullptr;
    OutlineOverlay *overlay = nullptr;
    CornerEditor *cornerEditor = nullptr;
    QDockWidget *pageDock = nullptr;
    ScanPagesPanel *pagesPanel = nullptr;
    QProgressDialog *progress = nullptr;
    PdfExport *pdfExport = nullptr;
    PageOutlineTracker tracker;
    ScanPages kept;
    // After the pages it copies: it goes first.
    ScanRecovery unsavedCopy{kept};
    QImage lastLive;
    int revisionBeingSaved = 0;
    bool stillBusy = false;
    int preparing = 0;
    // Last: its destruction waits for a still or a page being worked on.
    QThreadPool work;
};

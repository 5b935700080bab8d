#include "ScanMode.h"

#include "CameraFeed.h"
#include "CornerEditor.h"
#include "JpegFrame.h"
#include "OutlineOverlay.h"
#include "PageCleaner.h"
#include "PageStraightener.h"
#include "PdfExport.h"
#include "ScanPagesPanel.h"
#include "VideoView.h"

#include <QAction>
#include <QDebug>
#include <QDockWidget>
#include <QEvent>
#include <QFileDialog>
#include <QMainWindow>
#include <QProgressDialog>
#include <QStyle>

using Key = ScanTexts::Key;

namespace {

QImage decodeStill(const CameraFrame &frame)
{
    if (!frame.image.isNull() && (frame.jpeg.isEmpty() || frame.image.size() == frame.sourceSize))
        return frame.image;
    if (!frame.jpeg.isEmpty()) {
        MjpegDecoder decoder;
        const QImage whole = decoder.decode(reinterpret_cast<const uchar *>(frame.jpeg.constData()), frame.jpeg.size(), {});
        if (!whole.isNull())
            return whole;
    }
    return frame.image;
}

} // namespace

ScanMode::ScanMode(const ScanTexts &texts, QMainWindow &window, VideoView &view, CameraFeed &camera)
    : QObject(&window), texts(texts), window(window), view(view), camera(camera)
{
    work.setMaxThreadCount(1);
    toggle = new QAction(QIcon::fromTheme(QStringLiteral("scanner"), window.style()->standardIcon(QStyle::SP_FileDialogContentsView)),
                         texts.text(Key::Scan), this);
    toggle->setCheckable(true);
    toggle->setShortcut(Qt::Key_D);
    toggle->setShortcutContext(Qt::WindowShortcut);
    toggle->setToolTip(texts.text(Key::Scan) + QStringLiteral(" (") + toggle->shortcut().toString(QKeySequence::NativeText)
                       + QLatin1Char(')'));
    connect(toggle, &QAction::toggled, this, &ScanMode::setActive);

    overlay = new OutlineOverlay(&view);
    overlay->hide();
    cornerEditor = new CornerEditor(&view);
    cornerEditor->hide();
    cornerEditor->setHint(texts.text(Key::AdjustCorners));
    // The editor covers the picture; the view's resizes reach it through the overlay's geometry.
    connect(cornerEditor, &CornerEditor::kept, this, &ScanMode::onKept);
    connect(cornerEditor, &CornerEditor::discarded, this, [this] {
        qDebug().noquote() << "<ScanMode> page discarded";
        closeEditor();
    });
    connect(&tracker, &PageOutlineTracker::outlineFound, this, [this](const scan::FoundPage &page, QSize frameSize) {
        if (active() && cornerEditor->isHidden())
            overlay->setOutline(page.corners, frameSize, page.found());
    });
    pdfExport = new PdfExport(this);
    buildPageDock();
    view.installEventFilter(this);
}

ScanMode::~ScanMode()
{
    work.waitForDone();
}

bool ScanMode::active() const
{
    return toggle->isChecked();
}

bool ScanMode::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &view && event->type() == QEvent::Resize)
        cornerEditor->setGeometry(view.rect());
    return QObject::eventFilter(watched, event);
}

void ScanMode::setActive(bool on)
{
    qDebug().noquote() << "<ScanMode>" << (on ? "on" : "off");
    overlay->setVisible(on);
    if (!on) {
        tracker.stop();
        overlay->clearOutline();
        closeEditor();
    }
    pageDock->setVisible(on || kept.count() > 0);
}

void ScanMode::onFrame(const QImage &frame)
{
    lastLive = frame;
    if (active() && cornerEditor->isHidden() && !view.frozen())
        tracker.submit(frame);
}

void ScanMode::capture()
{
    if (cornerEditor->isVisible()) {
        // The capture button again: the corners as they are.
        onKept(cornerEditor->still(), scan::orderedCorners(cornerEditor->corners()));
        return;
    }
    if (stillBusy || lastLive.isNull()) // nothing shown, nothing to take
        return;
    stillBusy = true;
    view.showMessage(texts.text(Key::LookingForPage));
    camera.captureFullSize([this](const CameraFrame &frame) {
        if (frame.image.isNull() && frame.jpeg.isEmpty()) {
            qDebug().noquote() << "<ScanMode> no full-size frame: the picture shown is used";
            stillBusy = false;
            if (!lastLive.isNull())
                adjust(lastLive);
            return;
        }
        const CameraFrame still = frame;
        work.start([this, still] {
            const QImage image = decodeStill(still);
            QMetaObject::invokeMethod(this, [this, image] {
                stillBusy = false;
                adjust(image);
            }, Qt::QueuedConnection);
        });
    });
}

void ScanMode::adjust(const QImage &still)
{
    if (still.isNull() || stillBusy || cornerEditor->isVisible())
        return;
    stillBusy = true;
    work.start([this, still] {
        scan::FoundPage page;
        page.corners = scan::wholeFrame(still.width(), still.height());
        try {
            page = scan::PageFinder().find(still);
        } catch (const std::exception &error) {
            qWarning().noquote() << "<ScanMode> page finding failed:" << error.what();
        }
        QMetaObject::invokeMethod(this, [this, still, page] {
            stillBusy = false;
            if (!active())
                return; // scan mode was left meanwhile
            qDebug().noquote() << QStringLiteral("<ScanMode> still %1x%2, page %3").arg(still.width()).arg(still.height())
                                      .arg(page.found() ? QStringLiteral("found") : QStringLiteral("not found"));
            overlay->hide();
            cornerEditor->setHint(texts.text(page.found() ? Key::AdjustCorners : Key::NoPage));
            cornerEditor->setGeometry(view.rect());
            cornerEditor->edit(still, page.corners);
            cornerEditor->show();
            cornerEditor->raise();
            cornerEditor->setFocus(Qt::OtherFocusReason);
        }, Qt::QueuedConnection);
    });
}

void ScanMode::closeEditor()
{
    if (cornerEditor->isHidden())
        return;
    cornerEditor->hide();
    cornerEditor->edit({}, {});
    overlay->setVisible(active());
    view.setFocus(Qt::OtherFocusReason);
}

void ScanMode::onKept(const QImage &keptStill, const scan::PageCorners &keptCorners)
{
    // Copies first: the arguments may be the editor's own, which closing it forgets.
    const QImage still = keptStill;
    const scan::PageCorners corners = keptCorners;
    closeEditor();
    if (still.isNull())
        return;
    ++preparing;
    view.showMessage(texts.text(Key::PreparingPage));
    work.start([this, still, corners] {
        QImage page;
        try {
            page = scan::PageCleaner::clean(scan::PageStraightener::straighten(still, corners), scan::ScanMode::Grey);
        } catch (const std::exception &error) {
            // The engine's image library reports by exceptions; none may leave a pool thread.
            qWarning().noquote() << "<ScanMode> the page could not be straightened:" << error.what();
        }
        QMetaObject::invokeMethod(this, [this, page] {
            --preparing;
            if (page.isNull()) {
                view.showMessage(texts.text(Key::NoPage));
                return;
            }
            kept.add(page);
            qDebug().noquote() << QStringLiteral("<ScanMode> page %1 kept, %2x%3").arg(kept.count()).arg(page.width()).arg(page.height());
            view.showMessage(texts.text(Key::PageAdded).arg(kept.count()));
            emit pageReady(kept.count());
        }, Qt::QueuedConnection);
    });
}

void ScanMode::buildPageDock()
{
    pagesPanel = new ScanPagesPanel(texts, kept);
    connect(pagesPanel, &ScanPagesPanel::saveRequested, this, &ScanMode::saveToDocuments);
    connect(pagesPanel, &ScanPagesPanel::saveAsRequested, this, [this] {
        QString file = QFileDialog::getSaveFileName(&window, texts.text(Key::SavePdfAs), PdfExport::defaultTarget(),
                                                    QStringLiteral("PDF (*.pdf)"));
        if (file.isEmpty())
            return;
        if (!file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
            file += QStringLiteral(".pdf");
        save(file);
    });
    pageDock = new QDockWidget(texts.text(Key::Pages), &window);
    pageDock->setObjectName(QStringLiteral("scannedPages"));
    pageDock->setWidget(pagesPanel);
    pageDock->setFeatures(QDockWidget::DockWidgetClosable);
    window.addDockWidget(Qt::LeftDockWidgetArea, pageDock);
    pageDock->hide();
    connect(&kept, &ScanPages::changed, this, [this] {
        if (kept.count() > 0)
            pageDock->show();
    });

    connect(pdfExport, &PdfExport::progress, this, [this](int done, int total) {
        if (progress) {
            progress->setMaximum(total);
            progress->setValue(done);
        }
    });
    auto done = [this](const QString &message) {
        if (progress) {
            progress->disconnect();
            progress->deleteLater();
            progress = nullptr;
        }
        pagesPanel->setSaving(false);
        if (!message.isEmpty())
            view.showMessage(message, 6000);
    };
    connect(pdfExport, &PdfExport::finished, this, [this, done](const QString &file) {
        // The pages as they were when the writing began; a change since
        // leaves them unsaved.
        kept.markSaved(revisionBeingSaved);
        done(texts.text(Key::PdfSaved).arg(file));
        emit savingEnded(true);
    });
    connect(pdfExport, &PdfExport::failed, this, [this, done](const QString &reason) {
        done(texts.text(Key::PdfFailed).arg(reason));
        emit savingEnded(false);
    });
    connect(pdfExport, &PdfExport::cancelled, this, [this, done] {
        done({});
        emit savingEnded(false);
    });
}

bool ScanMode::saveToDocuments()
{
    return save(PdfExport::defaultTarget());
}

bool ScanMode::saving() const
{
    return pdfExport->running();
}

bool ScanMode::save(const QString &target)
{
    QList<QImage> pages;
    for (int index = 0; index < kept.count(); ++index)
        pages << kept.page(index);
    if (!pdfExport->start(pages, target))
        return false;
    revisionBeingSaved = kept.revision();
    pagesPanel->setSaving(true);
    progress = new QProgressDialog(texts.text(Key::WritingPdf), texts.text(Key::Cancel), 0, int(pages.size()), &window);
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setValue(0);
    connect(progress, &QProgressDialog::canceled, pdfExport, &PdfExport::cancel);
    progress->show();
    return true;
}

#include "ViewerWindow.h"

#include "ActionIcons.h"
#include "CameraFeed.h"
#include "ControlPanel.h"
#include "ElidedLabel.h"
#include "JpegFrame.h"
#include "ScanMode.h"
#include "VideoView.h"
#include "ViewerSettings.h"
#include "WatchdogLink.h"
#include "protocol/WatchdogCommand.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QDockWidget>
#include <QScrollArea>
#include <QTransform>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

using Key = ViewerTexts::Key;
using Picture = ViewerController::Picture;
using action_icons::Icon;

namespace {

// What the placeholder says for each picture state; the status line repeats
// it while there is no picture.
Key headline(Picture picture)
{
    switch (picture) {
    case Picture::WaitingForWatchdog:
        return Key::WaitingForWatchdog;
    case Picture::NoCamera:
        return Key::NoCamera;
    case Picture::Disconnected:
        return Key::CameraDisconnected;
    case Picture::Failed:
        return Key::CameraError;
    case Picture::Busy:
        return Key::CameraBusy;
    case Picture::Stopped:
        return Key::CameraStopped;
    case Picture::Opening:
    case Picture::Live:
        break;
    }
    return Key::StartingCamera;
}

// The folder captures go to: the user's Pictures folder.
QString captureFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return pictures.isEmpty() ? QDir::homePath() : pictures;
}

// A folder's path in a wrapped text: a long path without spaces would
// otherwise be one word wider than a narrow window, so it may break after
// each separator.
QString wrappable(const QString &folder)
{
    QString shown = QDir::toNativeSeparators(folder);
    shown.replace(QDir::separator(), QString(QDir::separator()) + QChar(0x200B));
    return shown;
}

// A question about the scanned pages, window-modal once opened; it goes
// away by itself when answered. The caller adds the buttons.
QMessageBox *pagesQuestion(QWidget *window, const ScanTexts &texts, const QString &text, const QString &name)
{
    auto *question = new QMessageBox(QMessageBox::Question, texts.text(ScanTexts::Key::Pages), text,
                                     QMessageBox::NoButton, window);
    question->setObjectName(name);
    question->setAttribute(Qt::WA_DeleteOnClose);
    return question;
}

} // namespace

ViewerWindow::ViewerWindow(const ViewerTexts &texts, ViewerSettings &settings, WatchdogLink &link,
                           CameraFeed &camera, ViewerController &controller)
    : texts(texts), settings(settings), link(link), controller(controller), camera(camera),
      scanTexts(texts.languageFile())
{
    setWindowTitle(texts.text(Key::Title));
    setWindowIcon(QIcon(QStringLiteral(":/tessel/com.brivara.tessel.svg")));
    resize(1024, 720);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildCaptureFailure();
    layout->addWidget(captureFailure);
    videoView = new VideoView(central);
    videoView->setRotation(settings.rotation());
    layout->addWidget(videoView, 1);
    setCentralWidget(central);
    scanMode = new ScanMode(scanTexts, *this, *videoView, camera);
    buildToolbar();
    buildStatusLine();
    buildCameraPanel();
    saving.setMaxThreadCount(1);
    QTimer::singleShot(0, this, &ViewerWindow::offerLeftBehindPages);

    connect(&camera, &CameraSource::frameArrived, this, &ViewerWindow::onFrame);
    connect(&controller, &ViewerController::pictureChanged, this, &ViewerWindow::onPicture);
    connect(&controller, &ViewerController::rotate, this, &ViewerWindow::rotate);
    connect(&controller, &ViewerController::function, this, &ViewerWindow::onFunction);
    connect(&controller, &ViewerController::lightChanged, this, &ViewerWindow::onLight);
    connect(&controller, &ViewerController::focusing, this,
            [this] { videoView->showMessage(this->texts.text(Key::Focusing)); });
    connect(&controller, &ViewerController::turnOffRequested, this, [this] {
        // The watchdog already knows: close without announcing.
        const auto turnOff = [this] {
            closeAnnounced = true;
            this->link.close();
        };
        if (!holdCloseForUnsavedPages(turnOff, false))
            turnOff();
    });
    connect(&link, &WatchdogLink::closed, this, [this] {
        mayClose = true;
        close();
        QApplication::quit();
    });
    connect(&link, &WatchdogLink::connected, this, &ViewerWindow::updateActions);
    connect(&link, &WatchdogLink::disconnected, this, &ViewerWindow::updateActions);
    connect(videoView, &VideoView::zoomChanged, this, [this](double zoom) {
        qDebug().noquote() << QStringLiteral("<ViewerWindow> zoom %1").arg(zoom, 0, 'f', 2);
        updateStatus();
        updateActions();
    });
    connect(videoView, &VideoView::wantedFrameSizeChanged, this, [this](QSize size) { this->camera.setDisplaySize(size); });
    this->camera.setDisplaySize(videoView->wantedFrameSize());
    connect(videoView, &VideoView::firstFrameShown, this, [](QSize size) {
        qDebug().noquote() << QStringLiteral("<ViewerWindow> first frame shown %1x%2").arg(size.width()).arg(size.height());
    });
    onPicture(controller.picture(), {});
}

ViewerWindow::~ViewerWindow()
{
    saving.waitForDone();
}

void ViewerWindow::buildCameraPanel()
{
    controlPanel = new ControlPanel(texts, camera, this);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(controlPanel);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(controlPanel->minimumWidth() + 24);
    controlDock = new QDockWidget(texts.text(Key::CameraSettings), this);
    controlDock->setObjectName(QStringLiteral("cameraSettings"));
    controlDock->setWidget(scroll);
    controlDock->setFeatures(QDockWidget::DockWidgetClosable);
    addDockWidget(Qt::RightDockWidgetArea, controlDock);
    controlDock->hide();
    connect(controlDock, &QDockWidget::visibilityChanged, settingsAction, &QAction::setChecked);
}

void ViewerWindow::fillResolutionMenu()
{
    resolutionMenu->clear();
    auto *group = new QActionGroup(resolutionMenu);
    const std::optional<FormatChooser::Choice> current = camera.current();
    for (const FormatChooser::Choice &choice : camera.choices()) {
        const QString rate = QLocale().toString(choice.rate, 'g', 4);
        QAction *item = resolutionMenu->addAction(
            texts.text(Key::ResolutionItem).arg(choice.size.width()).arg(choice.size.height()).arg(rate));
        item->setCheckable(true);
        item->setChecked(current && current->size == choice.size && std::abs(current->rate - choice.rate) < 0.01);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, choice] { camera.choose(choice); });
    }
}

QAction *ViewerWindow::addAction(QToolBar *toolbar, Key caption, const QIcon &icon, const QList<QKeySequence> &keys,
                                 std::optional<std::int32_t> cameraCode)
{
    auto *action = new QAction(icon, texts.text(caption), this);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    // The function, its key, and whether the camera has a button for it;
    // the button's wire code means nothing to a teacher.
    QString tip = texts.text(caption);
    if (!keys.isEmpty())
        tip += QStringLiteral(" (") + keys.first().toString(QKeySequence::NativeText) + QLatin1Char(')');
    if (cameraCode)
        tip += QStringLiteral("\n") + texts.text(Key::OnCameraButton);
    action->setToolTip(tip);
    toolbar->addAction(action);
    QMainWindow::addAction(action); // keys work in full screen, without the toolbar
    return action;
}

void ViewerWindow::buildToolbar()
{
    auto *toolbar = new QToolBar(this);
    functions = toolbar;
    toolbar->setObjectName(QStringLiteral("functions"));
    toolbar->setMovable(false);
    toolbar->setIconSize(QSize(32, 32));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addToolBar(Qt::TopToolBarArea, toolbar);

    freezeAction = addAction(toolbar, Key::Freeze, action_icons::make(Icon::Freeze), {Qt::Key_Space},
                             button_functions::codeFor(ViewerFunction::Freeze));
    freezeAction->setCheckable(true);
    connect(freezeAction, &QAction::toggled, this, &ViewerWindow::setFrozen);

    captureAction = addAction(toolbar, Key::Capture, action_icons::make(Icon::Capture),
                              {Qt::Key_C, QKeySequence(Qt::CTRL | Qt::Key_S)}, button_functions::codeFor(ViewerFunction::Capture));
    connect(captureAction, &QAction::triggered, this, &ViewerWindow::capture);
    toolbar->addAction(scanMode->action());
    QMainWindow::addAction(scanMode->action());
    auto *formats = new QMenu(texts.text(Key::CaptureFormat), this);
    auto *formatGroup = new QActionGroup(formats);
    QAction *pngAction = formats->addAction(QStringLiteral("PNG"));
    jpegAction = formats->addAction(QStringLiteral("JPEG"));
    for (QAction *format : {pngAction, jpegAction}) {
        format->setCheckable(true);
        formatGroup->addAction(format);
    }
    (settings.captureAsJpeg() ? jpegAction : pngAction)->setChecked(true);
    connect(jpegAction, &QAction::toggled, this, [this](bool jpeg) { this->settings.setCaptureAsJpeg(jpeg); });
    if (auto *button = qobject_cast<QToolButton *>(toolbar->widgetForAction(captureAction))) {
        button->setMenu(formats);
        button->setPopupMode(QToolButton::MenuButtonPopup);
    }

    zoomInAction = addAction(toolbar, Key::ZoomIn, action_icons::make(Icon::ZoomIn),
                             {Qt::Key_Plus, Qt::Key_Equal, QKeySequence::ZoomIn}, button_functions::codeFor(ViewerFunction::ZoomIn));
    connect(zoomInAction, &QAction::triggered, this, [this] { videoView->zoomIn(); });
    zoomOutAction = addAction(toolbar, Key::ZoomOut, action_icons::make(Icon::ZoomOut),
                              {Qt::Key_Minus, QKeySequence::ZoomOut}, button_functions::codeFor(ViewerFunction::ZoomOut));
    connect(zoomOutAction, &QAction::triggered, this, [this] { videoView->zoomOut(); });
    rotateAction = addAction(toolbar, Key::Rotate, action_icons::make(Icon::Rotate), {Qt::Key_R}, ROTATE);
    connect(rotateAction, &QAction::triggered, this, &ViewerWindow::rotate);
    fullScreenAction = addAction(toolbar, Key::FullScreen, action_icons::make(Icon::FullScreen), {Qt::Key_F11},
                                 button_functions::codeFor(ViewerFunction::FullScreen));
    fullScreenAction->setCheckable(true);
    connect(fullScreenAction, &QAction::toggled, this, &ViewerWindow::setFullScreen);

    watchdogSeparator = toolbar->addSeparator();
    lightAction = addAction(toolbar, Key::Light, action_icons::make(Icon::Light), {Qt::Key_L}, LIGHT);
    lightAction->setCheckable(true);
    lightAction->setChecked(controller.lightOn());
    connect(lightAction, &QAction::triggered, this, [this] { controller.toggleLight(); });
    focusAction = addAction(toolbar, Key::Focus, action_icons::make(Icon::Focus), {Qt::Key_F}, AUTO_FOCUS);
    connect(focusAction, &QAction::triggered, this, [this] { controller.focus(); });

    toolbar->addSeparator();
    settingsAction = addAction(toolbar, Key::CameraSettings, action_icons::make(Icon::Settings), {Qt::Key_S}, std::nullopt);
    settingsAction->setCheckable(true);
    connect(settingsAction, &QAction::triggered, this, [this](bool on) {
        if (on)
            controlPanel->rebuild();
        controlDock->setVisible(on);
    });
    resolutionMenu = new QMenu(texts.text(Key::Resolution), this);
    connect(resolutionMenu, &QMenu::aboutToShow, this, &ViewerWindow::fillResolutionMenu);
    if (auto *button = qobject_cast<QToolButton *>(toolbar->widgetForAction(settingsAction))) {
        button->setMenu(resolutionMenu);
        button->setPopupMode(QToolButton::MenuButtonPopup);
    }

    auto *quitAction = new QAction(texts.text(Key::Quit), this);
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    QMainWindow::addAction(quitAction);
}

void ViewerWindow::buildStatusLine()
{
    stateLabel = new ElidedLabel(this);
    lightLabel = new QLabel(this);
    zoomLabel = new QLabel(this);
    statusBar()->addWidget(stateLabel, 1);
    statusBar()->addPermanentWidget(lightLabel);
    statusBar()->addPermanentWidget(zoomLabel);
}

void ViewerWindow::buildCaptureFailure()
{
    captureFailure = new QFrame(this);
    captureFailure->setObjectName(QStringLiteral("captureFailure"));
    captureFailure->setStyleSheet(QStringLiteral("#captureFailure { background: #fdecea; border-bottom: 1px solid #e0a39d; }"
                                                 "QLabel { color: #7a1f16; }"));
    auto *layout = new QHBoxLayout(captureFailure);
    captureFailureText = new QLabel(captureFailure);
    captureFailureText->setWordWrap(true);
    auto *saveAs = new QPushButton(texts.text(Key::SaveAs), captureFailure);
    connect(saveAs, &QPushButton::clicked, this, &ViewerWindow::saveKeptCapture);
    layout->addWidget(captureFailureText, 1);
    layout->addWidget(saveAs);
    captureFailure->hide();
}

void ViewerWindow::onPicture(ViewerController::Picture picture, const QString &detail)
{
    awaitingFrame = picture == Picture::Live;
    videoView->clearPicture();
    QString hint;
    switch (picture) {
    case Picture::NoCamera:
        hint = texts.text(Key::PlugInHint);
        break;
    case Picture::Disconnected:
        hint = texts.text(Key::ReconnectHint);
        qDebug().noquote() << "<ViewerWindow> camera disconnected";
        break;
    case Picture::Failed:
        hint = detail;
        break;
    case Picture::Busy:
        hint = texts.text(Key::BusyHint);
        qDebug().noquote() << "<ViewerWindow> the camera is in use by another program";
        break;
    case Picture::Stopped:
        hint = texts.text(Key::StoppedHint);
        qDebug().noquote() << "<ViewerWindow> the camera stopped sending pictures";
        break;
    case Picture::WaitingForWatchdog:
    case Picture::Opening:
    case Picture::Live:
        break;
    }
    videoView->setPlaceholder(texts.text(headline(picture)), hint);
    const bool live = picture == Picture::Opening || picture == Picture::Live;
    stateLabel->setFullText(live ? QString() : texts.text(headline(picture)));
    if (freezeAction->isChecked())
        freezeAction->setChecked(false);
    updateActions();
    updateStatus();
}

void ViewerWindow::onFrame(const CameraFrame &frame)
{
    if (controller.picture() != ViewerController::Picture::Live)
        return;
    if (awaitingFrame) {
        awaitingFrame = false;
        videoView->setPlaceholder({}, {});
        if (controlDock->isVisible())
            controlPanel->rebuild();
        updateActions();
    }
    lastFrame = frame;
    videoView->showFrame(frame.image, frame.sourceSize, frame.arrivedUs);
    scanMode->onFrame(frame.image);
}

void ViewerWindow::onFunction(ViewerFunction function)
{
    switch (function) {
    case ViewerFunction::Freeze:
        freezeAction->toggle();
        return;
    case ViewerFunction::Capture:
        capture();
        return;
    case ViewerFunction::ZoomIn:
        videoView->zoomIn();
        return;
    case ViewerFunction::ZoomOut:
        videoView->zoomOut();
        return;
    case ViewerFunction::FullScreen:
        fullScreenAction->toggle();
        return;
    }
}

void ViewerWindow::onLight(bool on)
{
    lightAction->setChecked(on);
    updateStatus();
}

void ViewerWindow::rotate()
{
    videoView->rotateClockwise();
    settings.setRotation(videoView->rotation());
    qDebug().noquote() << "<ViewerWindow> rotation" << videoView->rotation();
}

void ViewerWindow::setFrozen(bool frozen)
{
    frozenFrame = frozen ? lastFrame : CameraFrame();
    videoView->setFrozen(frozen);
    videoView->setBadge(frozen ? texts.text(Key::Frozen) : QString());
    qDebug().noquote() << "<ViewerWindow> picture" << (frozen ? "frozen" : "live");
}

void ViewerWindow::capture()
{
    if (scanMode->active()) {
        if (freezeAction->isChecked())
            scanMode->adjust(frozenFrame.image);
        else
            scanMode->capture();
        return;
    }
    if (captureBusy)
        return;
    if (lastFrame.image.isNull()) {
        qDebug().noquote() << "<ViewerWindow> nothing to capture";
        return;
    }
    captureBusy = true;
    updateActions();
    if (freezeAction->isChecked()) {
        save(frozenFrame); // what the user sees, as the camera sent it
        return;
    }
    // The sensor's full size; the window keeps the last frame meanwhile.
    videoView->showMessage(texts.text(Key::Capturing));
    camera.captureFullSize([this](const CameraFrame &frame) {
        if (frame.image.isNull() && frame.jpeg.isEmpty()) {
            qDebug().noquote() << "<ViewerWindow> no full-size frame: the picture shown is saved";
            save(lastFrame);
            return;
        }
        save(frame);
    });
}

void ViewerWindow::save(const CameraFrame &frame)
{
    const bool jpeg = jpegAction->isChecked();
    const int degrees = videoView->rotation();
    const QString folder = captureFolder();
    const QDateTime when = QDateTime::currentDateTime();
    qDebug().noquote() << QStringLiteral("<ViewerWindow> saving a %1x%2 picture").arg(frame.sourceSize.width()).arg(frame.sourceSize.height());
    saving.start([this, frame, jpeg, degrees, folder, when] {
        CaptureWriter::Result result;
        if (jpeg && !frame.jpeg.isEmpty()) {
            // The camera's own JPEG: no second compression, no loss.
            const QByteArray bytes = jpeg_frame::withOrientation(jpeg_frame::withStandardTables(frame.jpeg), degrees);
            result = CaptureWriter::writeJpeg(bytes, folder, when);
        } else {
            QImage picture = frame.image;
            if (!frame.jpeg.isEmpty()) {
                MjpegDecoder decoder;
                picture = decoder.decode(reinterpret_cast<const uchar *>(frame.jpeg.constData()), frame.jpeg.size(), {});
            }
            if (degrees != 0)
                picture = picture.transformed(QTransform().rotate(degrees));
            result = CaptureWriter::write(picture, folder, jpeg ? CaptureWriter::Format::Jpeg : CaptureWriter::Format::Png,
                                          when);
        }
        QMetaObject::invokeMethod(this, [this, result, frame] { onSaved(result, frame); }, Qt::QueuedConnection);
    });
}

void ViewerWindow::onSaved(const CaptureWriter::Result &result, const CameraFrame &frame)
{
    captureBusy = false;
    updateActions();
    if (result.saved) {
        qDebug().noquote() << "<ViewerWindow> picture saved" << result.path;
        keptCapture = {};
        captureFailure->hide();
        const QString saved = texts.text(Key::Saved).arg(QDir::toNativeSeparators(result.path));
        videoView->showMessage(saved);
        stateLabel->setFullText(saved); // stays readable after the message goes
        return;
    }
    // Nothing is lost: the picture stays until it is saved elsewhere or the
    // next capture succeeds.
    keptCapture = frame;
    qDebug().noquote() << "<ViewerWindow> capture failed" << result.path << result.error;
    // A folder that cannot be made is itself the path; otherwise the file's.
    const QString folder = result.problem == CaptureWriter::Problem::Folder ? result.path : QFileInfo(result.path).path();
    captureFailureText->setText(texts.text(Key::SaveFailed).arg(wrappable(folder), captureProblem(result)));
    captureFailure->show();
}

void ViewerWindow::saveKeptCapture()
{
    if (keptCapture.image.isNull() && keptCapture.jpeg.isEmpty())
        return;
    const QString folder = QFileDialog::getExistingDirectory(this, texts.text(Key::SaveAs), QDir::homePath());
    if (folder.isEmpty())
        return;
    CaptureWriter::Result result;
    if (jpegAction->isChecked() && !keptCapture.jpeg.isEmpty())
        result = CaptureWriter::writeJpeg(jpeg_frame::withOrientation(jpeg_frame::withStandardTables(keptCapture.jpeg),
                                                                      videoView->rotation()),
                                          folder);
    else
        result = CaptureWriter::write(keptCapture.image.transformed(QTransform().rotate(videoView->rotation())), folder,
                                      jpegAction->isChecked() ? CaptureWriter::Format::Jpeg : CaptureWriter::Format::Png);
    if (!result.saved) {
        qDebug().noquote() << "<ViewerWindow> capture failed" << result.path << result.error;
        captureFailureText->setText(texts.text(Key::SaveFailed).arg(wrappable(folder), captureProblem(result)));
        return;
    }
    qDebug().noquote() << "<ViewerWindow> picture saved" << result.path;
    keptCapture = {};
    captureFailure->hide();
    const QString saved = texts.text(Key::Saved).arg(QDir::toNativeSeparators(result.path));
    videoView->showMessage(saved);
    stateLabel->setFullText(saved);
}

QString ViewerWindow::captureProblem(const CaptureWriter::Result &result) const
{
    switch (result.problem) {
    case CaptureWriter::Problem::Folder:
        return texts.text(Key::ErrorFolder);
    case CaptureWriter::Problem::Permission:
        return texts.text(Key::ErrorPermission);
    case CaptureWriter::Problem::Encode:
        return texts.text(Key::ErrorEncode);
    case CaptureWriter::Problem::Write:
    case CaptureWriter::Problem::None:
        break;
    }
    return texts.text(Key::ErrorWrite);
}

void ViewerWindow::setFullScreen(bool on)
{
    if (on == isFullScreen())
        return;
    // Full screen is the picture alone; the keys still work.
    if (on) {
        panelBeforeFullScreen = controlDock->isVisible();
        functions->hide();
        statusBar()->hide();
        controlDock->hide();
        showFullScreen();
    } else {
        showNormal();
        functions->show();
        statusBar()->show();
        controlDock->setVisible(panelBeforeFullScreen);
    }
    qDebug().noquote() << "<ViewerWindow> full screen" << (on ? "on" : "off");
}

void ViewerWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // The window manager may end full screen by itself: the check mark and
    // the bars follow it.
    if (event->type() == QEvent::WindowStateChange && fullScreenAction && fullScreenAction->isChecked() != isFullScreen()) {
        if (!isFullScreen()) {
            functions->show();
            statusBar()->show();
        }
        const QSignalBlocker quiet(fullScreenAction);
        fullScreenAction->setChecked(isFullScreen());
    }
}

void ViewerWindow::updateActions()
{
    const bool picture = controller.picture() == ViewerController::Picture::Live && !awaitingFrame;
    freezeAction->setEnabled(picture);
    captureAction->setEnabled(picture && !captureBusy);
    rotateAction->setEnabled(picture);
    zoomInAction->setEnabled(picture && videoView->zoom() < VideoView::MaxZoom);
    zoomOutAction->setEnabled(picture && videoView->zoom() > VideoView::MinZoom);
    // Light and focus go through the watchdog: without it (the viewer
    // started where none runs) they are not offered at all.
    for (QAction *action : {watchdogSeparator, lightAction, focusAction})
        action->setVisible(link.isConnected());
    lightLabel->setVisible(link.isConnected()); // the light's state is the watchdog's news
}

void ViewerWindow::updateStatus()
{
    lightLabel->setText(texts.text(controller.lightOn() ? Key::LightOn : Key::LightOff));
    zoomLabel->setText(QStringLiteral("%1 %").arg(qRound(videoView->zoom() * 100)));
}

void ViewerWindow::closeEvent(QCloseEvent *event)
{
    if (mayClose) {
        event->accept();
        return;
    }
    event->ignore();
    if (holdCloseForUnsavedPages([this] { close(); }, true))
        return;
    // The watchdog hears of it first, so that its menu item flips back.
    if (!closeAnnounced) {
        closeAnnounced = true;
        qDebug().noquote() << "<ViewerWindow> closing";
        link.closeAnnounced();
    }
}

void ViewerWindow::closeForSessionEnd()
{
    // Nobody is there to answer a question: the pages stay in their safety
    // copy, and the next start offers them back.
    if (scanMode->pages().unsaved())
        qDebug().noquote() << QStringLiteral("<ViewerWindow> the session ends: %1 unsaved pages stay for the next start")
                                  .arg(scanMode->pages().count());
    sessionEnding = true;
    close();
}

bool ViewerWindow::holdCloseForUnsavedPages(const std::function<void()> &closeNow, bool mayStayOpen)
{
    using ScanKey = ScanTexts::Key;
    if (sessionEnding || !scanMode->pages().unsaved())
        return false;
    if (unsavedQuestion || closingAfterPdf)
        return true; // asked already, or the PDF is on its way
    if (scanMode->saving()) {
        // "Save PDF" was pressed before: its PDF decides.
        closeWhenSaved(closeNow);
        return true;
    }
    qDebug().noquote() << "<ViewerWindow> unsaved pages: asking before closing";
    QMessageBox *question = pagesQuestion(this, scanTexts, scanTexts.text(ScanKey::UnsavedPages),
                                          QStringLiteral("unsavedPagesQuestion"));
    QPushButton *save = question->addButton(scanTexts.text(ScanKey::SavePdf), QMessageBox::AcceptRole);
    QPushButton *discard = question->addButton(scanTexts.text(ScanKey::CloseWithoutSaving), QMessageBox::DestructiveRole);
    if (mayStayOpen)
        question->addButton(scanTexts.text(ScanKey::Cancel), QMessageBox::RejectRole);
    question->setDefaultButton(save);
    connect(question, &QMessageBox::buttonClicked, this, [this, save, discard, closeNow](QAbstractButton *button) {
        if (button == discard) {
            qDebug().noquote() << "<ViewerWindow> unsaved pages: closing without them";
            scanMode->pages().clear(); // and their safety copy with them
            closeNow();
        } else if (button == save) {
            if (scanMode->saveToDocuments())
                closeWhenSaved(closeNow);
        } else {
            qDebug().noquote() << "<ViewerWindow> unsaved pages: staying open";
        }
    });
    unsavedQuestion = question;
    question->open(); // window-modal; the event loop goes on
    return true;
}

void ViewerWindow::closeWhenSaved(const std::function<void()> &closeNow)
{
    closingAfterPdf = true;
    connect(scanMode, &ScanMode::savingEnded, this, [this, closeNow](bool saved) {
        closingAfterPdf = false;
        if (!saved) {
            // The window says why (or the user cancelled); the pages stay.
            qDebug().noquote() << "<ViewerWindow> the pages were not saved: staying open";
            return;
        }
        qDebug().noquote() << "<ViewerWindow> pages saved: closing";
        closeNow();
    }, Qt::SingleShotConnection);
}

void ViewerWindow::offerLeftBehindPages()
{
    using ScanKey = ScanTexts::Key;
    ScanRecovery &recovery = scanMode->recovery();
    const int count = int(recovery.leftBehind().size());
    if (count == 0)
        return;
    qDebug().noquote() << QStringLiteral("<ViewerWindow> %1 unsaved pages from before: asking").arg(count);
    QMessageBox *question = pagesQuestion(this, scanTexts, scanTexts.text(ScanKey::RecoverPages).arg(count),
                                          QStringLiteral("leftBehindPagesQuestion"));
    QPushButton *restore = question->addButton(scanTexts.text(ScanKey::RestorePages), QMessageBox::AcceptRole);
    QPushButton *discard = question->addButton(scanTexts.text(ScanKey::DiscardPages), QMessageBox::DestructiveRole);
    // Neither button rejects: Esc and the title bar's close leave the
    // question open, as it is a choice the files wait for.
    question->setDefaultButton(restore);
    connect(question, &QMessageBox::buttonClicked, this, [&recovery, restore, discard](QAbstractButton *button) {
        if (button == restore)
            recovery.restore();
        else if (button == discard)
            recovery.discard();
    });
    question->open();
}

void ViewerWindow::keyPressEvent(QKeyEvent *event)
{
    constexpr double Step = 40;
    switch (event->key()) {
    case Qt::Key_Left:
        videoView->pan({Step, 0});
        return;
    case Qt::Key_Right:
        videoView->pan({-Step, 0});
        return;
    case Qt::Key_Up:
        videoView->pan({0, Step});
        return;
    case Qt::Key_Down:
        videoView->pan({0, -Step});
        return;
    case Qt::Key_Escape:
        if (fullScreenAction->isChecked())
            fullScreenAction->setChecked(false);
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

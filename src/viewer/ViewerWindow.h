#pragma once

#include "ButtonFunctions.h"
#include "CameraPipeline.h"
#include "CaptureWriter.h"
#include "ViewerController.h"
#include "ScanTexts.h"
#include "ViewerTexts.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QThreadPool>

#include <functional>

class CameraFeed;
class ElidedLabel;
class ControlPanel;
class QDockWidget;
class ScanMode;
class QMenu;
class QAction;
class QFrame;
class QMessageBox;
class QToolBar;
class QLabel;
class VideoView;
class ViewerSettings;
class WatchdogLink;

// The viewer's one window: the picture, a toolbar with the viewer's
// functions (each also on a key), and a status line with the connection,
// the light and the zoom. Closing it tells the watchdog first; scanned pages
// not yet saved are asked about before anything closes.
class ViewerWindow : public QMainWindow
{
    Q_OBJECT

public:
    ViewerWindow(const ViewerTexts &texts, ViewerSettings &settings, WatchdogLink &link, CameraFeed &camera,
                 ViewerController &controller);
    ~ViewerWindow() override;

    VideoView *view() const { return videoView; }
    ScanMode *scanning() const { return scanMode; }
    // The session asks the viewer to end (SIGTERM, SIGINT, SIGHUP): it
    // closes the ordinary way, so the watchdog hears of it, but asks
    // nothing.
    void closeForSessionEnd();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QAction *addAction(QToolBar *toolbar, ViewerTexts::Key caption, const QIcon &icon,
                       const QList<QKeySequence> &keys, std::optional<std::int32_t> cameraCode);
    void buildToolbar();
    void buildStatusLine();
    void buildCaptureFailure();
    void onPicture(ViewerController::Picture picture, const QString &detail);
    void onFrame(const CameraFrame &frame);
    void buildCameraPanel();
    void fillResolutionMenu();
    // Encodes and writes off the main thread; the window hears back.
    void save(const CameraFrame &frame);
    void onSaved(const CaptureWriter::Result &result, const CameraFrame &frame);
    void onFunction(ViewerFunction function);
    void onLight(bool on);
    void rotate();
    void setFrozen(bool frozen);
    void capture();
    void saveKeptCapture();
    void setFullScreen(bool on);
    void updateActions();
    void updateStatus();
    // When closing would lose scanned pages: asks whether to save them
    // first (without Cancel when the watchdog has already turned the viewer
    // off) and runs closeNow once they are saved or given up. False when
    // nothing is at stake and the close may go on at once.
    bool holdCloseForUnsavedPages(const std::function<void()> &closeNow, bool mayStayOpen);
    void closeWhenSaved(const std::function<void()> &closeNow);
    // Scanned pages an earlier run could not save: offered back once, when
    // the window first shows.
    void offerLeftBehindPages();
    QString captureProblem(const CaptureWriter::Result &result) const;

    const ViewerTexts &texts;
    ViewerSettings &settings;
    WatchdogLink &link;
    ViewerController &controller;
    CameraFeed &camera;
    VideoView *videoView = nullptr;
    ScanTexts scanTexts;
    ScanMode *scanMode = nullptr;
    ControlPanel *controlPanel = nullptr;
    QDockWidget *controlDock = nullptr;
    QAction *settingsAction = nullptr;
    QMenu *resolutionMenu = nullptr;
    CameraFrame lastFrame;   // the newest frame shown
    CameraFrame frozenFrame; // the frame shown while frozen
    QToolBar *functions = nullptr;
    bool panelBeforeFullScreen = false;
    QAction *freezeAction = nullptr;
    QAction *captureAction = nullptr;
    QAction *jpegAction = nullptr;
    QAction *zoomInAction = nullptr;
    QAction *zoomOutAction = nullptr;
    QAction *rotateAction = nullptr;
    QAction *fullScreenAction = nullptr;
    QAction *lightAction = nullptr;
    QAction *focusAction = nullptr;
    QAction *watchdogSeparator = nullptr;
    ElidedLabel *stateLabel = nullptr;
    QLabel *lightLabel = nullptr;
    QLabel *zoomLabel = nullptr;
    QFrame *captureFailure = nullptr;
    QLabel *captureFailureText = nullptr;
    CameraFrame keptCapture;
    bool captureBusy = false;
    bool awaitingFrame = false;
    bool closeAnnounced = false;
    bool mayClose = false;
    QPointer<QMessageBox> unsavedQuestion;
    bool closingAfterPdf = false;
    bool sessionEnding = false;
    // Last: its destruction waits for a capture being written.
    QThreadPool saving;
};

#pragma once

#include "ButtonFunctions.h"
#include "CaptureWriter.h"
#include "ViewerController.h"
#include "ViewerTexts.h"

#include <QImage>
#include <QMainWindow>

class CameraSource;
class QAction;
class QFrame;
class QLabel;
class VideoView;
class ViewerSettings;
class WatchdogLink;

// The viewer's one window: the picture, a toolbar with the viewer's
// functions (each also on a key), and a status line with the connection,
// the light and the zoom. Closing it tells the watchdog first.
class ViewerWindow : public QMainWindow
{
    Q_OBJECT

public:
    ViewerWindow(const ViewerTexts &texts, ViewerSettings &settings, WatchdogLink &link, CameraSource &camera,
                 ViewerController &controller);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QAction *addAction(QToolBar *toolbar, ViewerTexts::Key caption, const QIcon &icon,
                       const QList<QKeySequence> &keys, std::optional<std::int32_t> cameraCode);
    void buildToolbar();
    void buildStatusLine();
    void buildCaptureFailure();
    void onPicture(ViewerController::Picture picture, const QString &detail);
    void onFrame(const QImage &frame);
    void onFunction(ViewerFunction function);
    void onLight(bool on);
    void rotate();
    void setFrozen(bool frozen);
    void capture();
    void saveKeptCapture();
    void setFullScreen(bool on);
    void updateActions();
    void updateStatus();

    const ViewerTexts &texts;
    ViewerSettings &settings;
    WatchdogLink &link;
    ViewerController &controller;
    VideoView *videoView = nullptr;
    QAction *freezeAction = nullptr;
    QAction *captureAction = nullptr;
    QAction *jpegAction = nullptr;
    QAction *zoomInAction = nullptr;
    QAction *zoomOutAction = nullptr;
    QAction *rotateAction = nullptr;
    QAction *fullScreenAction = nullptr;
    QAction *lightAction = nullptr;
    QAction *focusAction = nullptr;
    QLabel *stateLabel = nullptr;
    QLabel *lightLabel = nullptr;
    QLabel *zoomLabel = nullptr;
    QFrame *captureFailure = nullptr;
    QLabel *captureFailureText = nullptr;
    QImage keptCapture;
    bool awaitingFrame = false;
    bool closeAnnounced = false;
    bool mayClose = false;
};

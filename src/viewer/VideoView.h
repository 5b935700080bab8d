#pragma once

#include <QImage>
#include <QPointF>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

// The picture: the camera's frames turned by the rotation, enlarged by the
// digital zoom and moved by panning; or, while there is no picture, a
// placeholder that says why. It never shows an empty black area.
class VideoView : public QWidget
{
    Q_OBJECT

public:
    static constexpr double MinZoom = 1.0;
    static constexpr double MaxZoom = 4.0;
    static constexpr double ZoomStep = 1.25;

    explicit VideoView(QWidget *parent = nullptr);

    // A new frame; kept but not shown while frozen. sourceSize is the
    // camera's (the frame may come smaller, made for the view).
    void showFrame(const QImage &frame, QSize sourceSize = {}, qint64 arrivedUs = 0);
    // The size a frame should have to fill the view at the current zoom,
    // unturned: the camera's pipeline makes frames this large.
    QSize wantedFrameSize() const;
    // Called with the arrival time of every frame when it is first painted
    // (benchmarks).
    void setPaintTrace(std::function<void(qint64 arrivedUs)> trace) { paintTrace = std::move(trace); }
    // Shows the placeholder instead of the picture (an empty title shows the
    // picture again once a frame is there).
    void setPlaceholder(const QString &title, const QString &hint);
    bool showsPlaceholder() const { return !placeholderTitle.isEmpty() || shown.isNull(); }
    // Forgets the last frame (the camera is gone).
    void clearPicture();

    int rotation() const { return degrees; }
    void setRotation(int rotation);
    void rotateClockwise() { setRotation(degrees + 90); }

    bool frozen() const { return isFrozen; }
    void setFrozen(bool frozen);

    double zoom() const { return zoomFactor; }
    void setZoom(double zoom);
    void zoomIn() { setZoom(zoomFactor * ZoomStep); }
    void zoomOut() { setZoom(zoomFactor / ZoomStep); }
    // Moves the enlarged picture by this many pixels of the view.
    void pan(const QPointF &delta);
    QPointF panned() const { return panOffset; }

    // The picture as shown, turned but not zoomed: what a capture saves.
    QImage picture() const;
    // A short message over the picture that goes by itself.
    void showMessage(const QString &text, int milliseconds = 2500);
    // A lasting badge in the corner (empty: none).
    void setBadge(const QString &text);

signals:
    void zoomChanged(double zoom);
    // wantedFrameSize() changed (resize, zoom, rotation).
    void wantedFrameSizeChanged(QSize size);
    void firstFrameShown(QSize size);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void paintPlaceholder(QPainter &painter);
    void paintPicture(QPainter &painter);
    void paintOverlay(QPainter &painter, const QString &text, const QRect &area, bool centred);
    QSizeF turnedSize() const;
    void clampPan();
    void announceWantedSize();

    QImage latest;
    QImage shown;
    QSize latestSource;
    QSize shownSource;
    qint64 latestArrived = 0;
    qint64 shownArrived = 0;
    bool shownPainted = true;
    QSize announcedSize;
    QSize sourceAspect{4, 3};
    std::function<void(qint64)> paintTrace;
    QString placeholderTitle;
    QString placeholderHint;
    QString message;
    QString badge;
    QTimer messageTimer;
    QPointF panOffset; // in view pixels, from the centred position
    QPoint dragStart;
    bool dragging = false;
    bool firstFramePending = true;
    bool isFrozen = false;
    int degrees = 0;
    double zoomFactor = 1.0;
};

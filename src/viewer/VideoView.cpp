#include "VideoView.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QtMath>
#include <QTransform>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor Surround(0x26, 0x2b, 0x31);
const QColor PlaceholderTop(0x2f, 0x3e, 0x4e);
const QColor PlaceholderBottom(0x1f, 0x29, 0x33);
const QColor Text(0xf2, 0xf4, 0xf6);
const QColor SoftText(0xb8, 0xc4, 0xd0);

// A camera drawn with lines, for the placeholder.
void drawCamera(QPainter &painter, const QRectF &box)
{
    painter.save();
    QPen pen(SoftText, std::max(2.0, box.width() / 24));
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QRectF body(box.left(), box.top() + box.height() * 0.25, box.width(), box.height() * 0.7);
    painter.drawRoundedRect(body, box.width() * 0.08, box.width() * 0.08);
    const QRectF hump(box.left() + box.width() * 0.3, box.top() + box.height() * 0.08, box.width() * 0.4,
                      box.height() * 0.2);
    painter.drawRoundedRect(hump, 4, 4);
    const double lens = box.width() * 0.2;
    painter.drawEllipse(body.center(), lens, lens);
    painter.restore();
}

} // namespace

VideoView::VideoView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    setFocusPolicy(Qt::StrongFocus);
    messageTimer.setSingleShot(true);
    connect(&messageTimer, &QTimer::timeout, this, [this] {
        message.clear();
        update();
    });
}

void VideoView::showFrame(const QImage &frame, QSize sourceSize, qint64 arrivedUs)
{
    latest = frame;
    latestSource = sourceSize.isValid() ? sourceSize : frame.size();
    latestArrived = arrivedUs;
    if (isFrozen)
        return;
    shown = frame;
    shownSource = latestSource;
    shownArrived = arrivedUs;
    shownPainted = false;
    if (!shownSource.isEmpty() && shownSource != sourceAspect) {
        sourceAspect = shownSource;
        announceWantedSize();
    }
    update();
}

QSize VideoView::wantedFrameSize() const
{
    const QSizeF unturned = sourceAspect;
    const QSizeF turned = degrees % 180 == 0 ? unturned : unturned.transposed();
    const QSizeF fitted = turned.scaled(QSizeF(size()) * devicePixelRatioF(), Qt::KeepAspectRatio) * zoomFactor;
    const QSizeF wanted = degrees % 180 == 0 ? fitted : fitted.transposed();
    return QSize(qCeil(wanted.width()), qCeil(wanted.height()));
}

void VideoView::announceWantedSize()
{
    const QSize wanted = wantedFrameSize();
    if (wanted == announcedSize)
        return;
    announcedSize = wanted;
    emit wantedFrameSizeChanged(wanted);
}

void VideoView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    announceWantedSize();
}

void VideoView::setPlaceholder(const QString &title, const QString &hint)
{
    placeholderTitle = title;
    placeholderHint = hint;
    if (!title.isEmpty())
        firstFramePending = true;
    update();
}

void VideoView::clearPicture()
{
    latest = QImage();
    shown = QImage();
    latestSource = shownSource = QSize();
    firstFramePending = true;
    update();
}

void VideoView::setRotation(int rotation)
{
    degrees = (rotation % 360 + 360) % 360 / 90 * 90;
    panOffset = QPointF();
    announceWantedSize();
    update();
}

void VideoView::setFrozen(bool frozen)
{
    isFrozen = frozen;
    if (!frozen && !latest.isNull()) {
        shown = latest;
        shownSource = latestSource;
    }
    update();
}

void VideoView::setZoom(double zoom)
{
    const double bounded = std::clamp(zoom, MinZoom, MaxZoom);
    if (std::abs(bounded - zoomFactor) < 1e-6)
        return;
    const double ratio = bounded / zoomFactor;
    zoomFactor = bounded;
    panOffset *= ratio; // the middle of the view stays on the same spot
    clampPan();
    announceWantedSize();
    update();
    emit zoomChanged(zoomFactor);
}

void VideoView::pan(const QPointF &delta)
{
    panOffset += delta;
    clampPan();
    update();
}

QSizeF VideoView::turnedSize() const
{
    const QSizeF size = shown.size();
    return degrees % 180 == 0 ? size : size.transposed();
}

// The enlarged picture always covers the view where it can: it moves at most
// until its edge reaches the view's edge.
void VideoView::clampPan()
{
    if (shown.isNull()) {
        panOffset = QPointF();
        return;
    }
    const QSizeF fitted = turnedSize().scaled(size(), Qt::KeepAspectRatio) * zoomFactor;
    const double roomX = std::max(0.0, (fitted.width() - width()) / 2);
    const double roomY = std::max(0.0, (fitted.height() - height()) / 2);
    panOffset.setX(std::clamp(panOffset.x(), -roomX, roomX));
    panOffset.setY(std::clamp(panOffset.y(), -roomY, roomY));
}

QImage VideoView::picture() const
{
    if (shown.isNull() || degrees == 0)
        return shown;
    return shown.transformed(QTransform().rotate(degrees));
}

void VideoView::showMessage(const QString &text, int milliseconds)
{
    message = text;
    messageTimer.start(milliseconds);
    update();
}

void VideoView::setBadge(const QString &text)
{
    badge = text;
    update();
}

void VideoView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (showsPlaceholder())
        paintPlaceholder(painter);
    else
        paintPicture(painter);
    if (!badge.isEmpty()) {
        const QRect corner(12, 12, std::min(width() - 24, 320), 40);
        paintOverlay(painter, badge, corner, false);
    }
    if (!message.isEmpty()) {
        const int boxWidth = std::min(width() - 40, 720);
        const QRect bottom((width() - boxWidth) / 2, height() - 84, boxWidth, 56);
        paintOverlay(painter, message, bottom, true);
    }
}

void VideoView::paintPlaceholder(QPainter &painter)
{
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, PlaceholderTop);
    gradient.setColorAt(1, PlaceholderBottom);
    painter.fillRect(rect(), gradient);

    const double unit = std::min(width(), height()) / 6.0;
    const QRectF icon(width() / 2.0 - unit * 0.6, height() / 2.0 - unit * 1.6, unit * 1.2, unit);
    drawCamera(painter, icon);

    // Both texts wrap, and each box is as tall as its wrapped text: a long
    // language in a narrow window loses nothing.
    QFont titleFont = font();
    titleFont.setPointSizeF(std::max(14.0, unit / 4));
    titleFont.setBold(true);
    painter.setFont(titleFont);
    painter.setPen(Text);
    const QString title = placeholderTitle.isEmpty() ? QStringLiteral("Tessel") : placeholderTitle;
    constexpr int Wrapped = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QRectF titleRoom(20, icon.bottom() + unit * 0.3, width() - 40, height());
    const QRectF titleBox = painter.boundingRect(titleRoom, Wrapped, title);
    painter.drawText(titleRoom, Wrapped, title);

    QFont hintFont = font();
    hintFont.setPointSizeF(std::max(10.0, unit / 7));
    painter.setFont(hintFont);
    painter.setPen(SoftText);
    const QRectF hintRoom(40, titleBox.bottom() + unit * 0.1, width() - 80, height());
    painter.drawText(hintRoom, Wrapped, placeholderHint);
}

void VideoView::paintPicture(QPainter &painter)
{
    painter.fillRect(rect(), Surround);
    const QSizeF fitted = turnedSize().scaled(size(), Qt::KeepAspectRatio) * zoomFactor;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(QPointF(width() / 2.0, height() / 2.0) + panOffset);
    painter.rotate(degrees);
    // Drawn unturned: in the turned frame the picture's own sides swap.
    const QSizeF drawn = degrees % 180 == 0 ? fitted : fitted.transposed();
    const QSizeF devicePixels = drawn * devicePixelRatioF();
    if (std::abs(devicePixels.width() - shown.width()) <= 2 && std::abs(devicePixels.height() - shown.height()) <= 2
        && degrees == 0) {
        // Made for this view: copied as it is, without scaling on the main thread.
        painter.restore();
        const QPointF centre = QPointF(width() / 2.0, height() / 2.0) + panOffset;
        const QSizeF logical = QSizeF(shown.size()) / devicePixelRatioF();
        painter.drawImage(QPointF(std::round(centre.x() - logical.width() / 2), std::round(centre.y() - logical.height() / 2)),
                          shown);
    } else {
        painter.drawImage(QRectF(QPointF(-drawn.width() / 2, -drawn.height() / 2), drawn), shown);
        painter.restore();
    }
    if (!shownPainted) {
        shownPainted = true;
        if (paintTrace && shownArrived)
            paintTrace(shownArrived);
    }
    if (firstFramePending) {
        firstFramePending = false;
        emit firstFrameShown(shownSource.isValid() ? shownSource : shown.size());
    }
}

void VideoView::paintOverlay(QPainter &painter, const QString &text, const QRect &area, bool centred)
{
    painter.save();
    QFont overlayFont = font();
    overlayFont.setPointSizeF(std::max(11.0, font().pointSizeF() * 1.2));
    painter.setFont(overlayFont);
    const QFontMetrics metrics(overlayFont);
    const int textWidth = std::min(area.width(), metrics.horizontalAdvance(text) + 32);
    QRect box = area;
    box.setWidth(textWidth);
    if (centred)
        box.moveLeft(area.left() + (area.width() - textWidth) / 2);
    else if (layoutDirection() == Qt::RightToLeft)
        box.moveRight(width() - area.left());
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(box, 10, 10);
    painter.setPen(Qt::white);
    // Messages name files: their middle goes, the file's name stays.
    painter.drawText(box, Qt::AlignCenter, metrics.elidedText(text, Qt::ElideMiddle, box.width() - 16));
    painter.restore();
}

void VideoView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && zoomFactor > MinZoom) {
        dragging = true;
        dragStart = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
}

void VideoView::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging)
        return;
    const QPoint now = event->position().toPoint();
    pan(now - dragStart);
    dragStart = now;
}

void VideoView::mouseReleaseEvent(QMouseEvent *)
{
    dragging = false;
    unsetCursor();
}

void VideoView::wheelEvent(QWheelEvent *event)
{
    // A touchpad sends many small deltas: a step for every 120 summed, and
    // the zoom follows the fraction between steps smoothly.
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    setZoom(zoomFactor * std::pow(ZoomStep, steps));
    event->accept();
}

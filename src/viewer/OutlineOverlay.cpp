#include "OutlineOverlay.h"

#include "VideoView.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

OutlineOverlay::OutlineOverlay(VideoView *view) : QWidget(view), view(view)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(view->rect());
    view->installEventFilter(this);
}

QTransform OutlineOverlay::frameToView(QSize frameSize, QSize viewSize, int degrees, double zoom, QPointF pan)
{
    if (frameSize.isEmpty() || viewSize.isEmpty())
        return {};
    // As the view paints: the turned picture fitted into the view, enlarged,
    // centred and moved; drawn unturned inside the turned frame.
    const QSizeF turned = degrees % 180 == 0 ? QSizeF(frameSize) : QSizeF(frameSize).transposed();
    const QSizeF fitted = turned.scaled(QSizeF(viewSize), Qt::KeepAspectRatio) * zoom;
    const QSizeF drawn = degrees % 180 == 0 ? fitted : fitted.transposed();
    QTransform transform;
    transform.translate(viewSize.width() / 2.0 + pan.x(), viewSize.height() / 2.0 + pan.y());
    transform.rotate(degrees);
    transform.translate(-drawn.width() / 2, -drawn.height() / 2);
    transform.scale(drawn.width() / frameSize.width(), drawn.height() / frameSize.height());
    return transform;
}

void OutlineOverlay::setOutline(const scan::PageCorners &corners, QSize frameSize, bool found)
{
    outline = corners;
    outlineFrame = frameSize;
    outlineFound = found;
    update();
}

void OutlineOverlay::clearOutline()
{
    outline.reset();
    update();
}

bool OutlineOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view && event->type() == QEvent::Resize)
        setGeometry(view->rect());
    return QWidget::eventFilter(watched, event);
}

void OutlineOverlay::paintEvent(QPaintEvent *)
{
    if (!outline || view->showsPlaceholder())
        return;
    const QTransform transform = frameToView(outlineFrame, size(), view->rotation(), view->zoom(), view->panned());
    QPolygonF polygon;
    for (const QPointF &corner : *outline)
        polygon << transform.map(corner);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor line = outlineFound ? QColor(0x2e, 0xa0, 0xff) : QColor(255, 255, 255, 110);
    if (outlineFound) {
        QColor fill = line;
        fill.setAlpha(40);
        QPainterPath path;
        path.addPolygon(polygon);
        path.closeSubpath();
        painter.fillPath(path, fill);
    }
    painter.setPen(QPen(line, outlineFound ? 3.0 : 2.0, outlineFound ? Qt::SolidLine : Qt::DashLine));
    painter.drawPolygon(polygon);
    if (outlineFound) {
        painter.setBrush(line);
        for (const QPointF &corner : polygon)
            painter.drawEllipse(corner, 5, 5);
    }
}

#include "CornerEditor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double GrabRadius = 24; // screen pixels around a corner that take it
constexpr int Margin = 16;        // room round the still for the handles

} // namespace

CornerEditor::CornerEditor(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    setPalette(dark);
}

void CornerEditor::edit(const QImage &still, const scan::PageCorners &corners)
{
    picture = still;
    current = corners;
    selected = 0;
    dragging = false;
    update();
}

void CornerEditor::setHint(const QString &text)
{
    hint = text;
    update();
}

QTransform CornerEditor::stillToView() const
{
    if (picture.isNull())
        return {};
    const QSizeF area = QSizeF(size()) - QSizeF(2 * Margin, 2 * Margin);
    if (area.isEmpty())
        return {};
    const QSizeF fitted = QSizeF(picture.size()).scaled(area, Qt::KeepAspectRatio);
    const double scale = fitted.width() / picture.width();
    QTransform transform;
    transform.translate((width() - fitted.width()) / 2, (height() - fitted.height()) / 2);
    transform.scale(scale, scale);
    return transform;
}

double CornerEditor::keyStep() const
{
    const double scale = stillToView().m11();
    return scale > 0 ? std::max(1.0, 1.0 / scale) : 1.0;
}

void CornerEditor::moveCorner(int index, QPointF to)
{
    // A corner stays on the still: straightening samples only inside it.
    to.setX(std::clamp(to.x(), 0.0, double(std::max(0, picture.width() - 1))));
    to.setY(std::clamp(to.y(), 0.0, double(std::max(0, picture.height() - 1))));
    current[std::size_t(index)] = to;
    update();
}

void CornerEditor::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (picture.isNull())
        return;
    const QTransform transform = stillToView();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(transform);
    painter.drawImage(QPointF(0, 0), picture);
    painter.resetTransform();
    painter.setRenderHint(QPainter::Antialiasing);

    QPolygonF outline;
    for (const QPointF &corner : current)
        outline << transform.map(corner);
    // Everything outside the page dimmed, so the page stands out.
    QPainterPath outside;
    outside.addRect(QRectF(rect()));
    QPainterPath page;
    page.addPolygon(outline);
    page.closeSubpath();
    painter.fillPath(outside.subtracted(page), QColor(0, 0, 0, 110));
    const QColor line(0x2e, 0xa0, 0xff);
    painter.setPen(QPen(line, 2));
    painter.drawPolygon(outline);
    for (int index = 0; index < 4; ++index) {
        const bool chosen = index == selected;
        painter.setPen(QPen(chosen ? Qt::white : line, chosen ? 3 : 2));
        painter.setBrush(chosen ? line : QColor(255, 255, 255, 160));
        painter.drawEllipse(outline[index], chosen ? 11 : 8, chosen ? 11 : 8);
    }
    if (!hint.isEmpty()) {
        const QRect band = painter.fontMetrics().boundingRect(rect().adjusted(24, 0, -24, 0), Qt::TextWordWrap, hint);
        QRect area(rect().left(), rect().bottom() - band.height() - 16, width(), band.height() + 16);
        painter.fillRect(area, QColor(0, 0, 0, 170));
        painter.setPen(Qt::white);
        painter.drawText(area.adjusted(24, 0, -24, 0), Qt::AlignCenter | Qt::TextWordWrap, hint);
    }
}

bool CornerEditor::focusNextPrevChild(bool)
{
    return false; // Tab chooses a corner here
}

void CornerEditor::keyPressEvent(QKeyEvent *event)
{
    const double step = keyStep() * ((event->modifiers() & Qt::ShiftModifier) ? 10 : 1);
    const QPointF at = current[std::size_t(selected)];
    switch (event->key()) {
    case Qt::Key_Tab:
        selected = (selected + 1) % 4;
        update();
        return;
    case Qt::Key_Backtab:
        selected = (selected + 3) % 4;
        update();
        return;
    case Qt::Key_Left:
        moveCorner(selected, at + QPointF(-step, 0));
        return;
    case Qt::Key_Right:
        moveCorner(selected, at + QPointF(step, 0));
        return;
    case Qt::Key_Up:
        moveCorner(selected, at + QPointF(0, -step));
        return;
    case Qt::Key_Down:
        moveCorner(selected, at + QPointF(0, step));
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The user may have dragged corners past each other.
        emit kept(picture, scan::orderedCorners(current));
        return;
    case Qt::Key_Escape:
        emit discarded();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void CornerEditor::mousePressEvent(QMouseEvent *event)
{
    const QTransform transform = stillToView();
    double nearest = GrabRadius;
    int grabbed = -1;
    for (int index = 0; index < 4; ++index) {
        const QPointF delta = transform.map(current[std::size_t(index)]) - event->position();
        const double distance = std::hypot(delta.x(), delta.y());
        if (distance < nearest) {
            nearest = distance;
            grabbed = index;
        }
    }
    if (grabbed < 0)
        return;
    selected = grabbed;
    dragging = true;
    update();
}

void CornerEditor::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging)
        return;
    bool invertible = false;
    const QTransform back = stillToView().inverted(&invertible);
    if (invertible)
        moveCorner(selected, back.map(event->position()));
}

void CornerEditor::mouseReleaseEvent(QMouseEvent *)
{
    dragging = false;
}

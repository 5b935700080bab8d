#include "ActionIcons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPainterPath>
#include <QPixmap>

namespace action_icons {

namespace {

constexpr int Size = 48;

void drawMagnifier(QPainter &painter, bool plus)
{
    painter.drawEllipse(QRectF(8, 8, 24, 24));
    painter.drawLine(QPointF(29, 29), QPointF(40, 40));
    painter.drawLine(QPointF(14, 20), QPointF(26, 20));
    if (plus)
        painter.drawLine(QPointF(20, 14), QPointF(20, 26));
}

// Four corner brackets whose arms are `arm` long, as in a viewfinder.
void drawCorners(QPainter &painter, double arm)
{
    for (const QPointF &corner : {QPointF(8, 8), QPointF(40, 8), QPointF(40, 40), QPointF(8, 40)}) {
        painter.drawLine(corner, corner + QPointF(corner.x() < 24 ? arm : -arm, 0));
        painter.drawLine(corner, corner + QPointF(0, corner.y() < 24 ? arm : -arm));
    }
}

void draw(QPainter &painter, Icon icon)
{
    switch (icon) {
    case Icon::Freeze:
        painter.drawRoundedRect(QRectF(12, 10, 8, 28), 2, 2);
        painter.drawRoundedRect(QRectF(28, 10, 8, 28), 2, 2);
        return;
    case Icon::Capture:
        painter.drawRoundedRect(QRectF(6, 14, 36, 26), 5, 5);
        painter.drawRect(QRectF(17, 9, 14, 5));
        painter.drawEllipse(QPointF(24, 27), 8, 8);
        return;
    case Icon::ZoomIn:
        drawMagnifier(painter, true);
        return;
    case Icon::ZoomOut:
        drawMagnifier(painter, false);
        return;
    case Icon::Rotate: {
        QPainterPath arc;
        arc.arcMoveTo(QRectF(10, 10, 28, 28), 90);
        arc.arcTo(QRectF(10, 10, 28, 28), 90, -270);
        painter.drawPath(arc);
        QPainterPath head;
        head.moveTo(24, 4);
        head.lineTo(31, 10);
        head.lineTo(24, 16);
        painter.drawPath(head);
        return;
    }
    case Icon::FullScreen:
        drawCorners(painter, 10);
        return;
    case Icon::Light:
        painter.drawEllipse(QRectF(14, 6, 20, 20));
        painter.drawLine(QPointF(19, 26), QPointF(19, 34));
        painter.drawLine(QPointF(29, 26), QPointF(29, 34));
        painter.drawLine(QPointF(18, 36), QPointF(30, 36));
        painter.drawLine(QPointF(20, 41), QPointF(28, 41));
        return;
    case Icon::Focus:
        drawCorners(painter, 8);
        painter.drawEllipse(QPointF(24, 24), 5, 5);
        return;
    case Icon::Settings:
        // Three sliders with their knobs.
        for (const auto &[y, knob] : {std::pair{12.0, 30.0}, std::pair{24.0, 16.0}, std::pair{36.0, 26.0}}) {
            painter.drawLine(QPointF(8, y), QPointF(40, y));
            painter.drawEllipse(QPointF(knob, y), 4, 4);
        }
        return;
    }
}

// Drawn whenever a size is asked for, at that size times the screen's
// scale, in the colour the palette gives text at that moment: sharp at 2x,
// and light on a dark theme without being made again.
class DrawnIconEngine : public QIconEngine
{
public:
    explicit DrawnIconEngine(Icon icon) : icon(icon) {}

    QIconEngine *clone() const override { return new DrawnIconEngine(icon); }
    QString key() const override { return QStringLiteral("tessel-drawn"); }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        if (side <= 0)
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / double(Size), side / double(Size));
        QPen pen(colour(mode), 3.5);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        draw(*painter, icon);
        painter->restore();
    }

    // QIcon asks with the size in device pixels already (and sets the
    // pixmap's ratio itself): drawn at that many pixels, never enlarged.
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap result(size);
        result.fill(Qt::transparent);
        QPainter painter(&result);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return result;
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal) override
    {
        return pixmap(size, mode, state);
    }

private:
    static QColor colour(QIcon::Mode mode)
    {
        const QPalette palette = QGuiApplication::palette();
        return mode == QIcon::Disabled ? palette.color(QPalette::Disabled, QPalette::WindowText)
                                       : palette.color(QPalette::Active, QPalette::WindowText);
    }

    Icon icon;
};

} // namespace

QIcon make(Icon icon)
{
    return QIcon(new DrawnIconEngine(icon));
}

} // namespace action_icons

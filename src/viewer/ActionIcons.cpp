#include "ActionIcons.h"

#include <QPainter>
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

} // namespace

QIcon make(Icon icon)
{
    QIcon result;
    for (const auto &[mode, colour] : {std::pair{QIcon::Normal, QColor(0x2b, 0x3a, 0x4a)},
                                       std::pair{QIcon::Disabled, QColor(0xa0, 0xa8, 0xb0)}}) {
        QPixmap pixmap(Size, Size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(colour, 3.5);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        draw(painter, icon);
        painter.end();
        result.addPixmap(pixmap, mode);
    }
    return result;
}

} // namespace action_icons

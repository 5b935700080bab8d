#pragma once

#include "ScanTypes.h"

#include <QImage>
#include <QTransform>
#include <QWidget>

// The still with the page's corners over it, for the user to put right
// before the page is kept: a corner is dragged with the mouse, or chosen
// with Tab (Shift+Tab back) and moved with the arrow keys (Shift: ten times
// as far). Enter keeps the page, Esc drops it.
class CornerEditor : public QWidget
{
    Q_OBJECT

public:
    explicit CornerEditor(QWidget *parent = nullptr);

    void edit(const QImage &still, const scan::PageCorners &corners);
    // A line of help along the bottom.
    void setHint(const QString &text);
    const QImage &still() const { return picture; }
    const scan::PageCorners &corners() const { return current; }
    int selectedCorner() const { return selected; }
    // One arrow key's step, in the still's pixels: about one screen pixel.
    double keyStep() const;

signals:
    void kept(const QImage &still, const scan::PageCorners &corners);
    void discarded();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QTransform stillToView() const;
    void moveCorner(int index, QPointF to);

    QImage picture;
    QString hint;
    scan::PageCorners current{};
    int selected = 0;
    bool dragging = false;
};

#pragma once

#include "ScanTypes.h"

#include <QTransform>
#include <QWidget>

#include <optional>

class VideoView;

// The page's outline drawn over the live picture: a see-through layer on
// the view, which takes no mouse or key of its own, placed the way the view
// places the picture (rotation, zoom and panning).
class OutlineOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit OutlineOverlay(VideoView *view);

    // Corners in the pixels of a frame of frameSize; found tells a page from
    // the whole frame (drawn fainter: nothing was seen).
    void setOutline(const scan::PageCorners &corners, QSize frameSize, bool found);
    void clearOutline();
    bool hasOutline() const { return outline.has_value(); }

    // Where a frame's pixel lands in a view of viewSize showing it turned by
    // degrees, enlarged by zoom and moved by pan.
    static QTransform frameToView(QSize frameSize, QSize viewSize, int degrees, double zoom, QPointF pan = {});

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    VideoView *view;
    std::optional<scan::PageCorners> outline;
    QSize outlineFrame;
    bool outlineFound = false;
};

#pragma once

#include <QImage>

class QVideoFrame;

// Turns a camera frame into an image on the CPU. Qt's own QVideoFrame::
// toImage() goes through the graphics stack, which on a machine without a
// GPU takes a third of a second for the first frame and stalls the camera's
// pipeline meanwhile; the formats cameras deliver (YUYV, UYVY, NV12, I420 -
// GStreamer decodes MJPEG to I420) are converted here, anything else still
// goes to toImage().
namespace frame_converter {

QImage toImage(const QVideoFrame &frame);

// YUYV 4:2:2 (Y0 U Y1 V), BT.601 limited range, to RGB32.
QImage fromYuyv(const uchar *data, int width, int height, int bytesPerLine, bool uyvy = false);

} // namespace frame_converter

#pragma once

#include "ScanTypes.h"

#include <QImage>
#include <QString>

#include <vector>

// Camera pictures of a known page, made the way a desk makes them: an A4
// page of known text rendered at 300 dpi, put into a 3264x2448 frame at
// known corners, over a desk, under uneven light, blurred and noisy, with a
// hand over an edge where asked. Shared by the tests and the benchmark.
namespace synthetic {

enum class Desk { Wood, LightGrey, DarkMat, Cloth };
enum class Placement { Upright, QuarterTurn, HalfTurn, FillsFrame };

struct Scene
{
    const char *name;
    Desk desk;
    Placement placement = Placement::Upright;
    bool lightingFalloff = false;
    bool shadow = false;
    bool hand = false;
    double blurSigma = 0.0;
    double noiseSigma = 0.0;
    bool foldedCorner = false; // the page's top left corner folded over, as round a staple
};

struct Page
{
    QImage image;  // 2480x3508, 300 dpi
    QString text;  // the words on it, line by line
};

struct Picture
{
    QImage frame;           // 3264x2448, RGB888
    scan::PageCorners page; // the true corners: the page's own top left, top right, bottom right, bottom left
};

constexpr int kFrameWidth = 3264;
constexpr int kFrameHeight = 2448;

// Needs a QGuiApplication (fonts). Rendered once and kept.
const Page &textPage();
Picture photograph(const Scene &scene);

// The scenes every finder is measured on.
std::vector<Scene> deskScenes();

} // namespace synthetic

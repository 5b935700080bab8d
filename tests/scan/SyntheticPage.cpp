#include "SyntheticPage.h"

#include "ImageConversion.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <functional>
#include <string>

namespace synthetic {

namespace {

constexpr int kPageWidth = 2480;
constexpr int kPageHeight = 3508;

const char *const kProse =
    "A document camera stands on the desk and looks straight down at the page. "
    "Teachers use it to show a worksheet to the whole class, and the picture they "
    "see is sharp enough to read every word from the back of the room. "
    "When the lesson ends, the same camera can keep the page: it finds the edges "
    "of the paper, turns the picture so the page is flat and square, takes away "
    "the shadow of the lamp, and writes a file in which every word can be found "
    "again by a search. Several pages become one document, in the order they were "
    "taken. The paper may lie at an angle, a hand may hold it down at one edge, "
    "and the light may fall more brightly on one side than on the other. "
    "None of this should change the words that are read back from the page. "
    "Numbers matter as much as words: the meeting on 14 March starts at 9 and "
    "lasts 45 minutes, and the report has 212 pages in 7 chapters.";

QImage renderPage(QString *text)
{
    QImage page(kPageWidth, kPageHeight, QImage::Format_RGB888);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(46); // 11 pt at 300 dpi
    painter.setFont(font);
    painter.setPen(QColor(25, 25, 30));
    const QFontMetrics metrics(font);
    const int margin = 300;
    const int lineHeight = metrics.lineSpacing() + 14;

    QFont heading = font;
    heading.setPixelSize(80);
    heading.setBold(true);
    painter.setFont(heading);
    painter.drawText(margin, margin + 80, QStringLiteral("Scanning with the Tessel camera"));
    painter.setFont(font);
    QStringList lines{QStringLiteral("Scanning with the Tessel camera")};

    const QStringList words = QString::fromLatin1(kProse).split(u' ');
    int y = margin + 80 + 2 * lineHeight;
    QString line;
    const auto flush = [&] {
        painter.drawText(margin, y, line);
        lines << line;
        line.clear();
        y += lineHeight;
    };
    for (const QString &word : words) {
        const QString longer = line.isEmpty() ? word : line + u' ' + word;
        if (metrics.horizontalAdvance(longer) > kPageWidth - 2 * margin)
            flush();
        line = line.isEmpty() ? word : line + u' ' + word;
    }
    if (!line.isEmpty())
        flush();
    // A rule, as forms have: a long straight line inside the page that a
    // finder must not take for its edge.
    painter.setPen(QPen(QColor(40, 40, 40), 6));
    painter.drawLine(margin, y, kPageWidth - margin, y);
    painter.end();
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    *text = lines.join(u'\n');
    return page;
}

// An A4 sheet on a desk seen by a pinhole camera (focal length 3000 px,
// principal point at the frame's centre) at the given distance, turned on
// the desk and with the camera tilted a little: the corners of the page's
// own top left, top right, bottom right and bottom left in the frame.
struct View
{
    double turnDegrees;  // the page on the desk
    double tiltDegrees;  // the camera, forwards
    double leanDegrees;  // the camera, sideways
    double distanceMm;
    double offsetXMm;
    double offsetYMm;
};

scan::PageCorners project(const View &view)
{
    constexpr double kFocal = 3000;
    const double turn = view.turnDegrees * M_PI / 180;
    const double tilt = view.tiltDegrees * M_PI / 180;
    const double lean = view.leanDegrees * M_PI / 180;
    const QPointF sheet[4] = {{-105, -148.5}, {105, -148.5}, {105, 148.5}, {-105, 148.5}};
    scan::PageCorners corners;
    for (std::size_t i = 0; i < 4; ++i) {
        const double x = sheet[i].x() * std::cos(turn) - sheet[i].y() * std::sin(turn) + view.offsetXMm;
        const double y = sheet[i].x() * std::sin(turn) + sheet[i].y() * std::cos(turn) + view.offsetYMm;
        const double y2 = y * std::cos(tilt);
        const double z2 = y * std::sin(tilt);
        const double x3 = x * std::cos(lean) + z2 * std::sin(lean);
        const double z3 = -x * std::sin(lean) + z2 * std::cos(lean) + view.distanceMm;
        corners[i] = QPointF(kFocal * x3 / z3 + kFrameWidth / 2.0, kFocal * y2 / z3 + kFrameHeight / 2.0);
    }
    return corners;
}

scan::PageCorners pageCorners(Placement placement)
{
    switch (placement) {
    case Placement::Upright:
        return project({1.2, 7, 2, 450, 2, -4});
    case Placement::QuarterTurn: // the page's top at the frame's right
        return project({91, 6, -3, 450, 0, 3});
    case Placement::HalfTurn:
        return project({181.5, -6, 2, 455, -3, 2});
    case Placement::FillsFrame: // lying, within about 100 px of the frame's edges
        return project({-89.5, 3, 0.5, 292, 0, 0});
    }
    return {};
}

cv::Mat smoothNoise(cv::RNG &rng, cv::Size size, int cells, double sigma)
{
    cv::Mat coarse(cells, cells * size.width / size.height + 1, CV_32F);
    rng.fill(coarse, cv::RNG::NORMAL, 0.0, sigma);
    cv::Mat fine;
    cv::resize(coarse, fine, size, 0, 0, cv::INTER_CUBIC);
    return fine;
}

cv::Mat desk(Desk kind, cv::RNG &rng)
{
    const cv::Size size(kFrameWidth, kFrameHeight);
    cv::Mat rgb(size, CV_32FC3);
    switch (kind) {
    case Desk::Wood: {
        // Grain: bands along x, bent by slow noise, with darker fine lines.
        const cv::Mat bend = smoothNoise(rng, size, 6, 25.0);
        const cv::Mat fine = smoothNoise(rng, size, 400, 1.0);
        for (int y = 0; y < size.height; ++y) {
            const float *bendRow = bend.ptr<float>(y);
            const float *fineRow = fine.ptr<float>(y);
            cv::Vec3f *out = rgb.ptr<cv::Vec3f>(y);
            for (int x = 0; x < size.width; ++x) {
                const float phase = (static_cast<float>(y) + bendRow[x] * 4 + 0.02f * static_cast<float>(x)) * 0.045f;
                const float band = 0.5f + 0.5f * std::sin(phase) + 0.25f * std::sin(phase * 3.7f);
                out[x] = cv::Vec3f(172, 118, 70) * (0.75f + 0.2f * band + 0.04f * fineRow[x]);
            }
        }
        break;
    }
    case Desk::LightGrey: {
        const cv::Mat mottle = smoothNoise(rng, size, 40, 3.0);
        cv::Mat grey = mottle + 206;
        cv::merge(std::vector<cv::Mat>{grey, grey, grey - 4}, rgb);
        break;
    }
    case Desk::DarkMat: {
        const cv::Mat mottle = smoothNoise(rng, size, 60, 4.0);
        cv::merge(std::vector<cv::Mat>{mottle + 38, mottle + 44, mottle + 52}, rgb);
        break;
    }
    case Desk::Cloth: {
        // A woven check: two colours in crossing stripes, with a weave.
        const cv::Vec3f navy(45, 58, 120), sand(196, 176, 140), mix(120, 117, 130);
        for (int y = 0; y < size.height; ++y) {
            cv::Vec3f *out = rgb.ptr<cv::Vec3f>(y);
            const bool down = (y / 90) % 2 == 0;
            for (int x = 0; x < size.width; ++x) {
                const bool across = (x / 90) % 2 == 0;
                const cv::Vec3f &colour = across && down ? navy : (!across && !down ? sand : mix);
                out[x] = colour * ((((x + y) / 3) % 2) ? 1.0f : 0.9f);
            }
        }
        break;
    }
    }
    return rgb;
}

// The light of a desk lamp off to one side: brightest near it, falling off
// by about a third across the frame.
void applyFalloff(cv::Mat &rgb)
{
    const cv::Point2f lamp(0.3f * kFrameWidth, 0.2f * kFrameHeight);
    const double reach = std::hypot(kFrameWidth, kFrameHeight);
    for (int y = 0; y < rgb.rows; ++y) {
        cv::Vec3f *row = rgb.ptr<cv::Vec3f>(y);
        const double dy = y - lamp.y;
        for (int x = 0; x < rgb.cols; ++x) {
            const double dx = x - lamp.x;
            row[x] *= static_cast<float>(1.0 - 0.55 * (dx * dx + dy * dy) / (reach * reach));
        }
    }
}

// The shadow of a head or an arm: a soft-edged band across the page.
void applyShadow(cv::Mat &rgb)
{
    const cv::Point2f normal(0.8f, 0.6f);
    const double position = 0.55 * kFrameWidth * normal.x + 0.5 * kFrameHeight * normal.y;
    for (int y = 0; y < rgb.rows; ++y) {
        cv::Vec3f *row = rgb.ptr<cv::Vec3f>(y);
        for (int x = 0; x < rgb.cols; ++x) {
            const double d = x * normal.x + y * normal.y - position;
            if (d < -400)
                continue; // no shadow this far out
            const double inside = d > 400 ? 1.0 : 1.0 / (1.0 + std::exp(-d / 25.0));
            row[x] *= static_cast<float>(1.0 - 0.45 * inside);
        }
    }
}

// A hand holding the page down: the palm off the page, the fingers reaching
// over its bottom edge.
void drawHand(QImage &frame, const scan::PageCorners &page)
{
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF a = page[3];
    const QPointF b = page[2];
    const QPointF edgePoint = a + 0.62 * (b - a);
    QPainterPath hand;
    hand.addEllipse(QPointF(edgePoint.x() + 80, edgePoint.y() + 260), 330, 230);
    for (int finger = 0; finger < 4; ++finger) {
        const double x = edgePoint.x() - 160 + finger * 105;
        hand.addRoundedRect(QRectF(x, edgePoint.y() - 230 + (finger == 0 ? 60 : 0), 80, 420), 40, 40);
    }
    hand.setFillRule(Qt::WindingFill);
    painter.fillPath(hand.simplified(), QColor(222, 170, 138));
    painter.setPen(QPen(QColor(180, 128, 100), 4));
    painter.drawPath(hand.simplified());
}

// The top left corner folded under along a diagonal: the desk shows where
// it was, and the paper's back where it now lies.
void foldCorner(cv::Mat &rgb, const cv::Mat &bareDesk, const cv::Point2f *corners)
{
    const cv::Point2f corner = corners[0];
    const cv::Point2f alongTop = corners[1] - corner;
    const cv::Point2f alongLeft = corners[3] - corner;
    const cv::Point2f a = corner + alongTop * (260.f / static_cast<float>(cv::norm(alongTop)));
    const cv::Point2f b = corner + alongLeft * (300.f / static_cast<float>(cv::norm(alongLeft)));
    // The corner mirrored across the fold.
    const cv::Point2f fold = (b - a) * (1.f / static_cast<float>(cv::norm(b - a)));
    const cv::Point2f fromA = corner - a;
    const cv::Point2f foot = a + fold * fromA.dot(fold);
    const cv::Point2f mirrored = foot * 2.f - corner;
    cv::Mat gone(rgb.size(), CV_8U, cv::Scalar(0));
    const std::vector<cv::Point> missing{cv::Point(corner), cv::Point(a), cv::Point(b)};
    cv::fillConvexPoly(gone, missing, cv::Scalar(255), cv::LINE_AA);
    bareDesk.copyTo(rgb, gone);
    const std::vector<cv::Point> back{cv::Point(mirrored), cv::Point(a), cv::Point(b)};
    cv::fillConvexPoly(rgb, back, cv::Scalar(214, 211, 204), cv::LINE_AA);
}

} // namespace

const Page &textPage()
{
    static const Page page = [] {
        Page p;
        p.image = renderPage(&p.text);
        return p;
    }();
    return page;
}

Picture photograph(const Scene &scene)
{
    cv::RNG rng(static_cast<uint64_t>(std::hash<std::string>{}(scene.name)));
    Picture picture;
    picture.page = pageCorners(scene.placement);

    cv::Mat rgb = desk(scene.desk, rng);
    const cv::Mat bareDesk = scene.foldedCorner ? rgb.clone() : cv::Mat();
    const cv::Mat paper = scan::rgbMatFromImage(textPage().image);
    const cv::Point2f from[4] = {{0, 0}, {kPageWidth - 1.f, 0}, {kPageWidth - 1.f, kPageHeight - 1.f}, {0, kPageHeight - 1.f}};
    cv::Point2f to[4];
    for (int i = 0; i < 4; ++i)
        to[i] = cv::Point2f(static_cast<float>(picture.page[static_cast<std::size_t>(i)].x()),
                            static_cast<float>(picture.page[static_cast<std::size_t>(i)].y()));
    const cv::Mat warp = cv::getPerspectiveTransform(from, to);
    cv::Mat warped;
    cv::Mat cover;
    // The paper itself is a little warm and not quite white.
    cv::Mat paperF;
    paper.convertTo(paperF, CV_32FC3, 0.96, 0);
    cv::warpPerspective(paperF, warped, warp, rgb.size(), cv::INTER_AREA);
    cv::warpPerspective(cv::Mat(paper.size(), CV_32F, cv::Scalar(1.0)), cover, warp, rgb.size(), cv::INTER_LINEAR);
    for (int y = 0; y < rgb.rows; ++y) {
        const float *coverRow = cover.ptr<float>(y);
        const cv::Vec3f *paperRow = warped.ptr<cv::Vec3f>(y);
        cv::Vec3f *row = rgb.ptr<cv::Vec3f>(y);
        for (int x = 0; x < rgb.cols; ++x) {
            const float c = coverRow[x];
            if (c > 0)
                row[x] = row[x] * (1 - c) + paperRow[x] * c;
        }
    }

    if (scene.foldedCorner)
        foldCorner(rgb, bareDesk, to);

    QImage frame;
    if (scene.hand) {
        cv::Mat bytes;
        rgb.convertTo(bytes, CV_8UC3);
        frame = scan::imageFromRgbMat(bytes);
        drawHand(frame, picture.page);
        scan::rgbMatFromImage(frame).convertTo(rgb, CV_32FC3);
    }
    if (scene.lightingFalloff)
        applyFalloff(rgb);
    if (scene.shadow)
        applyShadow(rgb);
    if (scene.blurSigma > 0)
        cv::GaussianBlur(rgb, rgb, {0, 0}, scene.blurSigma);
    if (scene.noiseSigma > 0) {
        cv::Mat noise(rgb.size(), CV_32FC3);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, scene.noiseSigma);
        rgb += noise;
    }
    cv::Mat bytes;
    rgb.convertTo(bytes, CV_8UC3);
    picture.frame = scan::imageFromRgbMat(bytes);
    return picture;
}

std::vector<Scene> deskScenes()
{
    return {
        {"wood", Desk::Wood},
        {"light_grey_desk", Desk::LightGrey},
        {"dark_mat", Desk::DarkMat},
        {"patterned_cloth", Desk::Cloth},
        {"wood_lamp_shadow_blur_noise", Desk::Wood, Placement::Upright, true, true, false, 1.2, 4.0},
        {"light_grey_lamp_noise", Desk::LightGrey, Placement::Upright, true, false, false, 1.0, 5.0},
        {"cloth_shadow_blur", Desk::Cloth, Placement::Upright, false, true, false, 1.5, 3.0},
        {"hand_over_edge", Desk::DarkMat, Placement::Upright, true, false, true, 1.0, 3.0},
        {"hand_on_light_grey", Desk::LightGrey, Placement::Upright, false, true, true, 1.0, 3.0},
        {"quarter_turn", Desk::Wood, Placement::QuarterTurn, true, false, false, 1.0, 3.0},
        {"half_turn", Desk::DarkMat, Placement::HalfTurn, false, true, false, 1.0, 3.0},
        {"fills_frame", Desk::LightGrey, Placement::FillsFrame, true, false, false, 1.0, 3.0},
        {"folded_corner", Desk::Wood, Placement::Upright, false, false, false, 1.0, 3.0, true},
        {"folded_corner_and_hand", Desk::Cloth, Placement::Upright, true, false, true, 1.0, 3.0, true},
    };
}

} // namespace synthetic

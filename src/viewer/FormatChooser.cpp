#include "FormatChooser.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

qint64 pixels(const FormatChooser::Mode &mode)
{
    return qint64(mode.width) * mode.height;
}

bool compressed(const FormatChooser::Mode &mode)
{
    return mode.pixelFormat == V4L2_PIX_FMT_MJPEG;
}

// Which of two pixel formats of one size is better: uncompressed up to
// 640x480, MJPEG above.
bool formatFits(const FormatChooser::Mode &mode)
{
    return compressed(mode) == (pixels(mode) > FormatChooser::LargestUncompressedPixels);
}

bool sameAspect(const FormatChooser::Mode &mode, const FormatChooser::Mode &reference)
{
    return qint64(mode.width) * reference.height == qint64(mode.height) * reference.width;
}

} // namespace

bool FormatChooser::usable(const Mode &mode)
{
    switch (mode.pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_MJPEG:
        return mode.width > 0 && mode.height > 0 && mode.rate() > 0;
    default:
        return false;
    }
}

std::optional<qsizetype> FormatChooser::largest(const QList<Mode> &modes)
{
    std::optional<qsizetype> best;
    const auto rank = [&](const Mode &mode) { return std::tuple(pixels(mode), compressed(mode), mode.rate()); };
    for (qsizetype i = 0; i < modes.size(); ++i) {
        if (usable(modes[i]) && (!best || rank(modes[i]) > rank(modes[*best])))
            best = i;
    }
    return best;
}

std::optional<qsizetype> FormatChooser::live(const QList<Mode> &modes, const std::optional<Choice> &chosen)
{
    const std::optional<qsizetype> biggest = largest(modes);
    if (!biggest)
        return std::nullopt;
    const Mode sensor = modes[*biggest];
    // Greater is better: the user's choice, then fluent in the sensor's
    // aspect, then fluent at all, by size; a camera with nothing fluent
    // still shows a picture (the fastest). Ties go to the fitting pixel
    // format, then the faster rate.
    const auto rank = [&](const Mode &mode) {
        const bool fluent = mode.rate() >= MinimumFrameRate;
        const bool isChosen = chosen && QSize(mode.width, mode.height) == chosen->size
                              && std::abs(mode.rate() - chosen->rate) < 0.01;
        return std::tuple(isChosen, fluent && sameAspect(mode, sensor), fluent, fluent ? pixels(mode) : 0, formatFits(mode),
                          mode.rate(), pixels(mode));
    };
    std::optional<qsizetype> best;
    for (qsizetype i = 0; i < modes.size(); ++i) {
        if (usable(modes[i]) && (!best || rank(modes[i]) > rank(modes[*best])))
            best = i;
    }
    return best;
}

QList<FormatChooser::Choice> FormatChooser::choices(const QList<Mode> &modes)
{
    QList<Choice> found;
    for (const Mode &mode : modes) {
        if (!usable(mode))
            continue;
        const QSize size(mode.width, mode.height);
        const bool known = std::any_of(found.begin(), found.end(), [&](const Choice &choice) {
            return choice.size == size && std::abs(choice.rate - mode.rate()) < 0.01;
        });
        if (!known)
            found.append({size, mode.rate()});
    }
    std::sort(found.begin(), found.end(), [](const Choice &a, const Choice &b) {
        return std::tuple(qint64(a.size.width()) * a.size.height(), a.rate)
               > std::tuple(qint64(b.size.width()) * b.size.height(), b.rate);
    });
    return found;
}

QString FormatChooser::formatName(std::uint32_t pixelFormat)
{
    QString name;
    for (int shift = 0; shift < 32; shift += 8)
        name += QChar(char((pixelFormat >> shift) & 0xFF));
    return name.trimmed();
}

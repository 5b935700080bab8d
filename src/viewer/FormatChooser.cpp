#include "FormatChooser.h"

#include <tuple>

std::optional<qsizetype> FormatChooser::choose(const QList<Offer> &offers, const std::optional<QSize> &remembered)
{
    // Greater is better: the remembered size while it is fluent, then any
    // fluent format by size, then (a camera with nothing fluent still shows
    // a picture) the fastest; ties go to the faster, then the larger.
    const auto rank = [&](const Offer &offer) {
        const qint64 pixels = qint64(offer.resolution.width()) * offer.resolution.height();
        const bool fluent = offer.maxFrameRate >= MinimumFrameRate;
        const bool rememberedOne = fluent && remembered && offer.resolution == *remembered;
        return std::tuple(rememberedOne, fluent, fluent ? pixels : 0, offer.maxFrameRate, pixels);
    };
    std::optional<qsizetype> best;
    for (qsizetype i = 0; i < offers.size(); ++i) {
        if (!best || rank(offers[i]) > rank(offers[*best]))
            best = i;
    }
    return best;
}

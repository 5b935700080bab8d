#pragma once

#include <QList>
#include <QSize>

#include <optional>

// Picks the camera format the viewer opens: the highest resolution the
// camera offers at 15 frames a second or more (a document under the camera
// should be sharp, but a hand moving over it must not stutter); among equal
// resolutions the faster one. A format remembered for the camera wins while
// the camera still offers it.
class FormatChooser
{
public:
    struct Offer
    {
        QSize resolution;
        float maxFrameRate = 0;
    };

    static constexpr float MinimumFrameRate = 15.0f;

    // Index into offers, or nothing when the camera lists no format at all
    // (the camera then runs with its own default).
    static std::optional<qsizetype> choose(const QList<Offer> &offers,
                                           const std::optional<QSize> &remembered = std::nullopt);
};

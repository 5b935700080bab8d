#include "TextProgressBar.h"

#include <algorithm>

namespace updater {

std::string TextProgressBar::draw(int phase, int percent)
{
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * BAR_WIDTH / 100;

    std::string bar(static_cast<std::size_t>(filled), '=');
    if (filled < BAR_WIDTH && percent > 0)
        bar += '>';
    bar.resize(BAR_WIDTH, ' ');

    std::string percentText = std::to_string(percent);
    percentText.insert(0, 3 - percentText.size(), ' ');

    const std::string line = "phase " + std::to_string(phase) + " [" + bar + "] " + percentText + "%";
    // Pad over a longer line drawn before (a phase number with more digits).
    std::string text = "\r" + line;
    if (line.size() < drawnLength)
        text.append(drawnLength - line.size(), ' ');
    drawnLength = std::max(drawnLength, line.size());
    return text;
}

std::string TextProgressBar::clear()
{
    if (drawnLength == 0)
        return {};
    std::string text = "\r" + std::string(drawnLength, ' ') + "\r";
    drawnLength = 0;
    return text;
}

} // namespace updater

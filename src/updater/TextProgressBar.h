#pragma once

#include <string>

namespace updater {

// A one-line progress bar for a terminal, redrawn in place with a carriage
// return: "phase 1 [=============>                    ]  27%".
class TextProgressBar
{
public:
    static constexpr int BAR_WIDTH = 50;

    // The text that draws the bar for a phase and percentage (clamped to
    // 0..100) over whatever the line showed before.
    std::string draw(int phase, int percent);
    // The text that blanks the line again, so that other output starts on
    // an empty line; empty when nothing is drawn.
    std::string clear();

private:
    std::size_t drawnLength = 0;
};

} // namespace updater

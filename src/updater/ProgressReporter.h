#pragma once

#include "Console.h"
#include "TextProgressBar.h"

namespace updater {

// Turns the library's progress calls into the updater's progress texts:
// "VERIFY" when the phase changes, and 5, 10, 15, ... for every 26 calls
// within a phase. On a terminal it also keeps a progress bar on standard
// error, so standard output carries the same bytes either way.
class ProgressReporter
{
public:
    static constexpr int CALLS_PER_STEP = 26;
    static constexpr int PERCENT_PER_STEP = 5;

    explicit ProgressReporter(Console &console);
    ~ProgressReporter();
    ProgressReporter(const ProgressReporter &) = delete;
    ProgressReporter &operator=(const ProgressReporter &) = delete;

    // One call of the library; only the low byte of the second argument,
    // the phase, counts.
    void report(int unused, int phaseWord);
    // Takes the progress bar off the terminal line.
    void finish();

    // The callback handed to FirmwareUpdate. The library gives it no
    // context, so it reaches the reporter that exists at the time.
    static void reportProgress(int unused, int phaseWord);

private:
    void write(std::string_view text);
    void drawBar(int phase);
    void eraseBar();

    Console &console;
    TextProgressBar bar;
    const bool showBar;
    int lastPhase = 0;
    int count = 0;
    bool barShown = false;
    int drawnPhase = 0;
    int drawnPercent = 0;
};

} // namespace updater

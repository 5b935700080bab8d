#include "ProgressReporter.h"

#include <algorithm>
#include <string>

namespace updater {

namespace {

// The library calls back on a thread of its choosing, but only while
// FirmwareUpdate runs; the reporter outlives that call.
ProgressReporter *activeReporter = nullptr;

} // namespace

ProgressReporter::ProgressReporter(Console &output)
    : console(output), showBar(output.watchedOnTerminal())
{
    activeReporter = this;
}

ProgressReporter::~ProgressReporter()
{
    finish();
    if (activeReporter == this)
        activeReporter = nullptr;
}

void ProgressReporter::reportProgress(int unused, int phaseWord)
{
    if (activeReporter)
        activeReporter->report(unused, phaseWord);
}

void ProgressReporter::report(int, int phaseWord)
{
    const int phase = phaseWord & 0xFF;
    if (phase != lastPhase) {
        write("VERIFY\n");
        lastPhase = phase;
        count = 1;
    } else {
        ++count;
    }
    if (count % CALLS_PER_STEP == 0)
        write(std::to_string(count / CALLS_PER_STEP * PERCENT_PER_STEP) + "\n");

    if (showBar)
        drawBar(phase);
}

void ProgressReporter::finish()
{
    eraseBar();
}

void ProgressReporter::write(std::string_view text)
{
    // Blank the bar first, so the text does not land behind it on screen.
    eraseBar();
    console.out(text);
    console.flushOut();
}

void ProgressReporter::drawBar(int phase)
{
    // The same scale as the printed numbers, in finer steps.
    const int percent = static_cast<int>(
        std::min<long long>(100, static_cast<long long>(count) * PERCENT_PER_STEP / CALLS_PER_STEP));
    if (barShown && phase == drawnPhase && percent == drawnPercent)
        return;
    console.err(bar.draw(phase, percent));
    barShown = true;
    drawnPhase = phase;
    drawnPercent = percent;
}

void ProgressReporter::eraseBar()
{
    if (!barShown)
        return;
    console.err(bar.clear());
    barShown = false;
}

} // namespace updater

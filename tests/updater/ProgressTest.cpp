// The progress texts for sequences of library calls, and the terminal bar.
#include "ProgressReporter.h"
#include "TextProgressBar.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingConsole final : public updater::Console
{
public:
    void out(std::string_view text) override { outText += text; }
    void err(std::string_view text) override { errText += text; }
    void flushOut() override { outText += "|"; }
    bool watchedOnTerminal() const override { return false; }

    std::string outText;
    std::string errText;
};

// Calls of the library: a phase, repeated.
struct Calls
{
    int phase;
    int count;
};

struct ProgressCase
{
    const char *name;
    std::vector<Calls> calls;
    const char *printed; // "|" marks a flush
};

// Test output names the case instead of dumping its bytes.
void PrintTo(const ProgressCase &progressCase, std::ostream *out)
{
    *out << progressCase.name;
}

class ProgressSequence : public ::testing::TestWithParam<ProgressCase>
{
};

TEST_P(ProgressSequence, PrintsTheExpectedTexts)
{
    RecordingConsole console;
    {
        updater::ProgressReporter reporter(console);
        int call = 0;
        for (const auto &[phase, count] : GetParam().calls)
            for (int i = 0; i < count; ++i, ++call)
                // Upper bytes are noise: only the low byte is the phase.
                updater::ProgressReporter::reportProgress(call, (call << 8) | 0x7F000000 | phase);
    }
    EXPECT_EQ(console.outText, GetParam().printed);
    EXPECT_EQ(console.errText, "");
}

INSTANTIATE_TEST_SUITE_P(Updater, ProgressSequence, ::testing::Values(
    ProgressCase{"FirstPhaseZeroPrintsNoVerify", {{0, 25}}, ""},
    ProgressCase{"TwentySixCallsPrintFive", {{0, 26}}, "5\n|"},
    ProgressCase{"EveryTwentySixCallsAddFive", {{0, 78}}, "5\n|10\n|15\n|"},
    ProgressCase{"PhaseChangePrintsVerifyAndRestartsTheCount", {{0, 26}, {1, 26}}, "5\n|VERIFY\n|5\n|"},
    ProgressCase{"FirstPhaseOtherThanZeroPrintsVerify", {{3, 26}}, "VERIFY\n|5\n|"},
    ProgressCase{"ChangeCountsAsTheFirstCallOfThePhase", {{0, 20}, {2, 25}, {2, 1}}, "VERIFY\n|5\n|"},
    ProgressCase{"ReturnToAnEarlierPhaseIsAChangeToo", {{1, 1}, {0, 1}, {1, 26}}, "VERIFY\n|VERIFY\n|VERIFY\n|5\n|"}),
    [](const auto &test) { return std::string(test.param.name); });

TEST(ProgressReporter, CallbackWithoutAReporterIsIgnored)
{
    RecordingConsole console;
    {
        updater::ProgressReporter reporter(console);
    }
    updater::ProgressReporter::reportProgress(0, 1);
    EXPECT_EQ(console.outText, "");
}

TEST(TextProgressBar, DrawsFillHeadAndPercentage)
{
    updater::TextProgressBar bar;
    EXPECT_EQ(bar.draw(0, 0), "\rphase 0 [" + std::string(50, ' ') + "]   0%");
    EXPECT_EQ(bar.draw(1, 42), "\rphase 1 [" + std::string(21, '=') + ">" + std::string(28, ' ') + "]  42%");
    EXPECT_EQ(bar.draw(1, 100), "\rphase 1 [" + std::string(50, '=') + "] 100%");
    EXPECT_EQ(bar.draw(1, 250), "\rphase 1 [" + std::string(50, '=') + "] 100%");
}

TEST(TextProgressBar, OverwritesALongerLineAndBlanksWhatItDrew)
{
    updater::TextProgressBar bar;
    const std::string wide = bar.draw(100, 5);
    const std::string narrow = bar.draw(1, 5);
    EXPECT_EQ(narrow.size(), wide.size()); // padded over the extra digits
    EXPECT_EQ(bar.clear(), "\r" + std::string(wide.size() - 1, ' ') + "\r");
    EXPECT_EQ(bar.clear(), "");
}

} // namespace

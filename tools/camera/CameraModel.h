#pragma once

#include "Buttons.h"
#include "StateFile.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace camera_standin {

// Bytes of one report in the Windows layout: byte 0 is the report ID (0, the
// camera has none), so that the button bytes are bytes 9 and 10.
using Report = std::vector<std::uint8_t>;

// How the camera behaves, apart from any device node: the reports its
// buttons send, its answers to the output reports written to it, and the
// light, whose state it keeps in the control library stand-in's state file.
// Safe to use from several threads.
class CameraModel
{
public:
    // Input and output reports: 64 data bytes, 65 with the report ID byte.
    static constexpr std::size_t ReportLength = 65;
    // A vendor-defined collection without report IDs: 64 bytes in, 64 out.
    static const std::vector<std::uint8_t> &reportDescriptor();

    struct WriteOutcome
    {
        enum class Kind { Zero, ButtonReport, Other } kind = Kind::Other;
        std::uint8_t buttonValue = 0;
        std::optional<Report> answer;
        std::optional<bool> lightChanged; // the new state, when it changed
        bool stateSaved = true;
    };

    // stateFile: where the light is kept; its light= line, if any, is the
    // light's state at start.
    explicit CameraModel(std::optional<std::string> stateFile = std::nullopt);

    // One report with the buttons' bits, then an all-zero report as the
    // release unless hold is set.
    std::vector<Report> press(const std::vector<Button> &buttons, bool hold) const;
    static Report release();

    // A report written by the host. Button reports are answered with one
    // all-zero report (the answer must not look like a press); the all-zero
    // report written before every read gets no answer, since the camera
    // reports only changes. Light 0x04 followed by release 0x00 toggles the
    // light.
    WriteOutcome handleWrite(const std::vector<std::uint8_t> &bytes);

    bool light() const;
    void setAnswering(bool answer);
    bool answering() const;
    std::optional<std::string> stateFilePath() const;

private:
    mutable std::mutex mutex;
    std::optional<StateFile> state;
    bool lightOn = false;
    bool lightPressed = false;
    bool answers = true;
};

} // namespace camera_standin

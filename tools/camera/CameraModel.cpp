#include "CameraModel.h"

#include "protocol/ButtonReport.h"

#include <algorithm>

namespace camera_standin {

const std::vector<std::uint8_t> &CameraModel::reportDescriptor()
{
    static const std::vector<std::uint8_t> descriptor{
        0x06, 0x00, 0xFF, // Usage Page (Vendor Defined 0xFF00)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x91, 0x02,       //   Output (Data, Variable, Absolute)
        0xC0,             // End Collection
    };
    return descriptor;
}

CameraModel::CameraModel(std::optional<std::string> stateFile)
{
    if (stateFile) {
        state.emplace(*stateFile);
        lightOn = state->value("light") == "1";
    }
}

std::vector<Report> CameraModel::press(const std::vector<Button> &buttons, bool hold) const
{
    Report pressed(ReportLength, 0);
    for (const Button &button : buttons)
        pressed[button.byte] |= button.mask;
    std::vector<Report> reports{pressed};
    if (!hold)
        reports.push_back(release());
    return reports;
}

Report CameraModel::release()
{
    return Report(ReportLength, 0);
}

CameraModel::WriteOutcome CameraModel::handleWrite(const std::vector<std::uint8_t> &bytes)
{
    WriteOutcome outcome;
    if (!bytes.empty() && std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; })) {
        outcome.kind = WriteOutcome::Kind::Zero;
        return outcome;
    }
    std::uint8_t value = 0;
    if (!ButtonReport::decode(bytes.data(), bytes.size(), value))
        return outcome;

    outcome.kind = WriteOutcome::Kind::ButtonReport;
    outcome.buttonValue = value;
    std::lock_guard lock(mutex);
    if (answers)
        outcome.answer = release();
    if (value == ButtonReport::Light) {
        lightPressed = true;
    } else if (value == ButtonReport::Release && lightPressed) {
        lightPressed = false;
        lightOn = !lightOn;
        outcome.lightChanged = lightOn;
        if (state)
            outcome.stateSaved = state->set("light", lightOn ? "1" : "0");
    } else {
        lightPressed = false;
    }
    return outcome;
}

bool CameraModel::light() const
{
    std::lock_guard lock(mutex);
    return lightOn;
}

void CameraModel::setAnswering(bool answer)
{
    std::lock_guard lock(mutex);
    answers = answer;
}

bool CameraModel::answering() const
{
    std::lock_guard lock(mutex);
    return answers;
}

std::optional<std::string> CameraModel::stateFilePath() const
{
    if (!state)
        return std::nullopt;
    return state->path();
}

} // namespace camera_standin

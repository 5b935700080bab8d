#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// What a camera offers: one pixel format, size and frame interval.
struct CameraMode
{
    std::uint32_t pixelFormat = 0; // fourcc, V4L2's ("MJPG", "YUYV", ...)
    int width = 0;
    int height = 0;
    // A frame every numerator/denominator seconds.
    std::uint32_t intervalNumerator = 1;
    std::uint32_t intervalDenominator = 0;

    double rate() const { return intervalNumerator ? double(intervalDenominator) / intervalNumerator : 0; }
    bool operator==(const CameraMode &) const = default;
};

// One of the camera's picture controls, as the camera describes it.
struct CameraControl
{
    enum class Kind { Integer, Boolean, Menu };
    std::uint32_t id = 0; // the system's control id
    Kind kind = Kind::Integer;
    std::string name;     // the camera's own name for it
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    std::int32_t defaultValue = 0;
    std::int32_t value = 0;
    bool inactive = false; // set by its automatic partner for now
    std::vector<std::pair<std::int32_t, std::string>> menu; // value and name, for menus
};

// The controls a document camera's panel offers, by the name the panel uses
// (the system's ids stay in the backend).
enum class CameraSetting {
    Brightness,
    Contrast,
    Saturation,
    Sharpness,
    Gain,
    ExposureAuto,
    Exposure,
    WhiteBalanceAuto,
    WhiteBalanceTemperature,
    PowerLineFrequency,
    FocusAuto,
    Focus,
    Zoom,
};

// A camera's device, opened beside the stream: what it offers, and its
// controls. Reading and setting controls never disturbs the stream.
class CameraDevice
{
public:
    virtual ~CameraDevice() = default;

    // Every pixel format, size and interval, as the camera lists them.
    virtual std::vector<CameraMode> modes() = 0;
    // The panel's controls that the camera has, in CameraSetting's order.
    virtual std::vector<std::pair<CameraSetting, CameraControl>> controls() = 0;
    // false when the camera refuses (out of range, inactive, gone).
    virtual bool setControl(std::uint32_t id, std::int32_t value) = 0;
};

// The device at this node, or nothing when it cannot be opened.
std::unique_ptr<CameraDevice> openCameraDevice(const std::string &node);

} // namespace platform

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct v4l2_query_ext_ctrl;
struct v4l2_queryctrl;
struct v4l2_querymenu;

namespace camera_standin {

// The controls a UVC document camera offers, with their ranges, defaults and
// current values: brightness, contrast, saturation, sharpness, gain,
// exposure (auto and absolute), white balance (auto and temperature),
// power-line frequency, focus (auto and absolute) and zoom. Answers the
// control ioctls the way uvcvideo does; no umockdev here.
class VideoControls
{
public:
    VideoControls();

    // VIDIOC_QUERY_EXT_CTRL / VIDIOC_QUERYCTRL (both honour
    // V4L2_CTRL_FLAG_NEXT_CTRL); 0 or a negative errno.
    int query(v4l2_query_ext_ctrl &control) const;
    int query(v4l2_queryctrl &control) const;
    int queryMenu(v4l2_querymenu &item) const;
    // The value, or a negative errno.
    int get(std::uint32_t id, std::int32_t &value) const;
    // Sets (or, apply false, only checks) a value; EINVAL for an unknown
    // control, ERANGE for one out of range, EACCES for an inactive one.
    int set(std::uint32_t id, std::int32_t value, bool apply = true);

    std::int32_t value(std::uint32_t id) const;

private:
    struct Control
    {
        std::uint32_t id;
        std::uint32_t type;
        const char *name;
        std::int32_t minimum, maximum, step, defaultValue;
        std::vector<std::string> menu; // by value, for menus; empty text = no such item
        std::int32_t current;
    };
    const Control *find(std::uint32_t id, bool next) const;
    bool inactive(const Control &control) const;

    std::vector<Control> controls;
};

} // namespace camera_standin

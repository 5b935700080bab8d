#include "VideoControls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace camera_standin {

namespace {

template <std::size_t N> void copyName(char (&field)[N], const char *name)
{
    std::memset(field, 0, N);
    std::strncpy(field, name, N - 1);
}

} // namespace

VideoControls::VideoControls()
{
    controls = {
        {V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", -64, 64, 1, 0, {}, 0},
        {V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, "Contrast", 0, 95, 1, 32, {}, 32},
        {V4L2_CID_SATURATION, V4L2_CTRL_TYPE_INTEGER, "Saturation", 0, 100, 1, 64, {}, 64},
        {V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Automatic", 0, 1, 1, 1, {}, 1},
        {V4L2_CID_GAIN, V4L2_CTRL_TYPE_INTEGER, "Gain", 0, 100, 1, 0, {}, 0},
        {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 1, 1,
         {"Disabled", "50 Hz", "60 Hz"}, 1},
        {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CTRL_TYPE_INTEGER, "White Balance Temperature", 2800, 6500, 10, 4600,
         {}, 4600},
        {V4L2_CID_SHARPNESS, V4L2_CTRL_TYPE_INTEGER, "Sharpness", 0, 7, 1, 3, {}, 3},
        {V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU, "Auto Exposure", 1, 3, 1, 3,
         {"", "Manual Mode", "", "Aperture Priority Mode"}, 3},
        {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Exposure Time, Absolute", 3, 2047, 1, 250, {}, 250},
        {V4L2_CID_FOCUS_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Focus, Absolute", 0, 1023, 1, 0, {}, 0},
        {V4L2_CID_FOCUS_AUTO, V4L2_CTRL_TYPE_BOOLEAN, "Focus, Automatic Continuous", 0, 1, 1, 1, {}, 1},
        {V4L2_CID_ZOOM_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Zoom, Absolute", 100, 500, 1, 100, {}, 100},
    };
    std::sort(controls.begin(), controls.end(), [](const Control &a, const Control &b) { return a.id < b.id; });
}

const VideoControls::Control *VideoControls::find(std::uint32_t id, bool next) const
{
    for (const Control &control : controls) {
        if (next ? control.id > id : control.id == id)
            return &control;
    }
    return nullptr;
}

// uvcvideo marks the manual value inactive while its automatic partner runs.
bool VideoControls::inactive(const Control &control) const
{
    switch (control.id) {
    case V4L2_CID_EXPOSURE_ABSOLUTE:
        return value(V4L2_CID_EXPOSURE_AUTO) != V4L2_EXPOSURE_MANUAL;
    case V4L2_CID_WHITE_BALANCE_TEMPERATURE:
        return value(V4L2_CID_AUTO_WHITE_BALANCE) != 0;
    case V4L2_CID_FOCUS_ABSOLUTE:
        return value(V4L2_CID_FOCUS_AUTO) != 0;
    default:
        return false;
    }
}

int VideoControls::query(v4l2_query_ext_ctrl &query) const
{
    const bool next = query.id & (V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    const Control *control = find(query.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND), next);
    if (!control)
        return -EINVAL;
    std::memset(&query, 0, sizeof query);
    query.id = control->id;
    query.type = control->type;
    copyName(query.name, control->name);
    query.minimum = control->minimum;
    query.maximum = control->maximum;
    query.step = static_cast<std::uint64_t>(control->step);
    query.default_value = control->defaultValue;
    query.flags = inactive(*control) ? V4L2_CTRL_FLAG_INACTIVE : 0;
    query.elem_size = sizeof(std::int32_t);
    query.elems = 1;
    query.nr_of_dims = 0;
    return 0;
}

int VideoControls::query(v4l2_queryctrl &query) const
{
    v4l2_query_ext_ctrl extended{};
    extended.id = query.id;
    const int result = this->query(extended);
    if (result < 0)
        return result;
    std::memset(&query, 0, sizeof query);
    query.id = extended.id;
    query.type = extended.type;
    std::memcpy(query.name, extended.name, sizeof query.name);
    query.name[sizeof query.name - 1] = 0;
    query.minimum = static_cast<std::int32_t>(extended.minimum);
    query.maximum = static_cast<std::int32_t>(extended.maximum);
    query.step = static_cast<std::int32_t>(extended.step);
    query.default_value = static_cast<std::int32_t>(extended.default_value);
    query.flags = extended.flags;
    return 0;
}

int VideoControls::queryMenu(v4l2_querymenu &item) const
{
    const Control *control = find(item.id, false);
    if (!control || control->type != V4L2_CTRL_TYPE_MENU || item.index > std::uint32_t(control->maximum)
        || item.index < std::uint32_t(control->minimum) || control->menu[item.index].empty())
        return -EINVAL;
    copyName(reinterpret_cast<char(&)[32]>(item.name), control->menu[item.index].c_str());
    return 0;
}

int VideoControls::get(std::uint32_t id, std::int32_t &value) const
{
    const Control *control = find(id, false);
    if (!control)
        return -EINVAL;
    value = control->current;
    return 0;
}

int VideoControls::set(std::uint32_t id, std::int32_t value, bool apply)
{
    auto control = std::find_if(controls.begin(), controls.end(), [id](const Control &c) { return c.id == id; });
    if (control == controls.end())
        return -EINVAL;
    if (value < control->minimum || value > control->maximum
        || (control->type == V4L2_CTRL_TYPE_MENU && control->menu[std::size_t(value)].empty()))
        return -ERANGE;
    if (inactive(*control))
        return -EACCES;
    if (apply)
        control->current = value;
    return 0;
}

std::int32_t VideoControls::value(std::uint32_t id) const
{
    const Control *control = find(id, false);
    return control ? control->current : 0;
}

} // namespace camera_standin

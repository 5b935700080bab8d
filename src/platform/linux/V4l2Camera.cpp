#include "V4l2Camera.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace platform {

std::unique_ptr<CameraDevice> openCameraDevice(const std::string &node)
{
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<linux_backend::V4l2Camera>(fd);
}

namespace linux_backend {

namespace {

int xioctl(int fd, unsigned long request, void *argument)
{
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

struct Known
{
    std::uint32_t id;
    CameraSetting setting;
};
constexpr std::array<Known, 13> KnownControls{{
    {V4L2_CID_BRIGHTNESS, CameraSetting::Brightness},
    {V4L2_CID_CONTRAST, CameraSetting::Contrast},
    {V4L2_CID_SATURATION, CameraSetting::Saturation},
    {V4L2_CID_SHARPNESS, CameraSetting::Sharpness},
    {V4L2_CID_GAIN, CameraSetting::Gain},
    {V4L2_CID_EXPOSURE_AUTO, CameraSetting::ExposureAuto},
    {V4L2_CID_EXPOSURE_ABSOLUTE, CameraSetting::Exposure},
    {V4L2_CID_AUTO_WHITE_BALANCE, CameraSetting::WhiteBalanceAuto},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, CameraSetting::WhiteBalanceTemperature},
    {V4L2_CID_POWER_LINE_FREQUENCY, CameraSetting::PowerLineFrequency},
    {V4L2_CID_FOCUS_AUTO, CameraSetting::FocusAuto},
    {V4L2_CID_FOCUS_ABSOLUTE, CameraSetting::Focus},
    {V4L2_CID_ZOOM_ABSOLUTE, CameraSetting::Zoom},
}};

} // namespace

V4l2Camera::V4l2Camera(int fd)
    : fd(fd)
{
}

V4l2Camera::~V4l2Camera()
{
    ::close(fd);
}

std::vector<CameraMode> V4l2Camera::modes()
{
    std::vector<CameraMode> found;
    // Bounded loops: a broken driver must not keep us here.
    for (std::uint32_t f = 0; f < 64; ++f) {
        v4l2_fmtdesc format{};
        format.index = f;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_ENUM_FMT, &format) < 0)
            break;
        for (std::uint32_t s = 0; s < 256; ++s) {
            v4l2_frmsizeenum size{};
            size.index = s;
            size.pixel_format = format.pixelformat;
            if (xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0 || size.type != V4L2_FRMSIZE_TYPE_DISCRETE)
                break; // stepwise sizes are a webcam's, not a document camera's
            for (std::uint32_t i = 0; i < 64; ++i) {
                v4l2_frmivalenum interval{};
                interval.index = i;
                interval.pixel_format = format.pixelformat;
                interval.width = size.discrete.width;
                interval.height = size.discrete.height;
                if (xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0)
                    break;
                const v4l2_fract fraction = interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete
                                                                                        : interval.stepwise.min;
                if (fraction.numerator == 0 || fraction.denominator == 0)
                    continue;
                found.push_back({format.pixelformat, int(size.discrete.width), int(size.discrete.height),
                                 fraction.numerator, fraction.denominator});
                if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE)
                    break;
            }
        }
    }
    return found;
}

std::vector<std::pair<CameraSetting, CameraControl>> V4l2Camera::controls()
{
    std::vector<std::pair<CameraSetting, CameraControl>> found;
    for (const Known &known : KnownControls) {
        v4l2_query_ext_ctrl query{};
        query.id = known.id;
        if (xioctl(fd, VIDIOC_QUERY_EXT_CTRL, &query) < 0 || query.id != known.id
            || (query.flags & V4L2_CTRL_FLAG_DISABLED))
            continue;
        CameraControl control;
        control.id = query.id;
        switch (query.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            control.kind = CameraControl::Kind::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            control.kind = CameraControl::Kind::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
            control.kind = CameraControl::Kind::Menu;
            break;
        default:
            continue; // nothing the panel can show
        }
        control.name.assign(query.name, strnlen(query.name, sizeof query.name));
        control.minimum = static_cast<std::int32_t>(query.minimum);
        control.maximum = static_cast<std::int32_t>(query.maximum);
        control.step = std::max<std::int32_t>(1, static_cast<std::int32_t>(query.step));
        control.defaultValue = static_cast<std::int32_t>(query.default_value);
        control.inactive = query.flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_READ_ONLY);
        v4l2_control current{};
        current.id = query.id;
        if (xioctl(fd, VIDIOC_G_CTRL, &current) < 0)
            continue;
        control.value = current.value;
        if (control.kind == CameraControl::Kind::Menu) {
            for (std::int32_t index = control.minimum; index <= control.maximum && index - control.minimum < 64; ++index) {
                v4l2_querymenu item{};
                item.id = query.id;
                item.index = static_cast<std::uint32_t>(index);
                if (xioctl(fd, VIDIOC_QUERYMENU, &item) == 0)
                    control.menu.emplace_back(
                        index, std::string(reinterpret_cast<const char *>(item.name),
                                           strnlen(reinterpret_cast<const char *>(item.name), sizeof item.name)));
            }
        }
        found.emplace_back(known.setting, std::move(control));
    }
    return found;
}

bool V4l2Camera::setControl(std::uint32_t id, std::int32_t value)
{
    v4l2_ext_control control{};
    control.id = id;
    control.value = value;
    v4l2_ext_controls list{};
    list.which = V4L2_CTRL_WHICH_CUR_VAL;
    list.count = 1;
    list.controls = &control;
    return xioctl(fd, VIDIOC_S_EXT_CTRLS, &list) == 0;
}

} // namespace linux_backend

} // namespace platform

#pragma once

#include "platform/CameraDevice.h"

namespace platform::linux_backend {

// A video4linux capture node opened for its formats and controls
// (VIDIOC_ENUM_FMT and friends, VIDIOC_QUERY_EXT_CTRL, VIDIOC_S_EXT_CTRLS);
// the stream itself is GStreamer's.
class V4l2Camera final : public CameraDevice
{
public:
    explicit V4l2Camera(int fd);
    ~V4l2Camera() override;
    V4l2Camera(const V4l2Camera &) = delete;
    V4l2Camera &operator=(const V4l2Camera &) = delete;

    std::vector<CameraMode> modes() override;
    std::vector<std::pair<CameraSetting, CameraControl>> controls() override;
    bool setControl(std::uint32_t id, std::int32_t value) override;

private:
    int fd;
};

} // namespace platform::linux_backend

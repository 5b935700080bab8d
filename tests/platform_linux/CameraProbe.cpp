// camera_probe: plays the watchdog's part of the camera exchange against
// tesselcamera, through the Linux backend, and prints what it sees:
//   probe open len=N vid=XXXX pid=XXXX   the camera was found and opened
//   probe report len=N b9=XX b10=XX      an input report arrived
//   probe answer len=N                   the camera answered a button report
//   probe gone                           the camera went away (exit 0)
// On a report with the light button (byte 10, 0x20) it sends the light's
// button report pair, light then release, as the watchdog does.
#include "protocol/ButtonReport.h"
#include "platform/linux/LinuxHid.h"

#include <cstdio>
#include <thread>
#include <vector>

using ReadStatus = platform::HidDevice::ReadStatus;

namespace {

bool sendButtonReport(platform::HidDevice &camera, std::uint8_t value)
{
    ButtonReport::Bytes report = ButtonReport{value}.encode();
    if (!camera.write(report.data(), report.size()))
        return false;
    std::size_t received = 0;
    if (camera.read(report.data(), report.size(), 5000, received) != ReadStatus::Data)
        return false;
    std::printf("probe answer len=%zu\n", received);
    return true;
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    platform::linux_backend::LinuxHid hid;
    std::shared_ptr<platform::HidDevice> camera;
    if (const auto paths = hid.listInterfaces()) {
        for (const std::string &path : *paths) {
            int error = 0;
            if (path.find("vid_7a3e") != std::string::npos && path.find("pid_4b20") != std::string::npos)
                camera = hid.open(path, error);
        }
    }
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::size_t length = 0;
    if (!camera || !camera->attributes(vendor, product) || camera->inputReportLength(length) != platform::HidDevice::CapsStatus::Read) {
        std::printf("probe no-camera\n");
        return 1;
    }
    std::printf("probe open len=%zu vid=%04x pid=%04x\n", length, vendor, product);

    std::vector<std::uint8_t> report(length);
    for (;;) {
        std::fill(report.begin(), report.end(), 0);
        camera->write(report.data(), report.size());
        std::size_t received = 0;
        const ReadStatus status = camera->read(report.data(), report.size(), -1, received);
        if (status == ReadStatus::Gone) {
            std::printf("probe gone\n");
            return 0;
        }
        if (status != ReadStatus::Data) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const unsigned byte9 = received > 9 ? report[9] : 0;
        const unsigned byte10 = received > 10 ? report[10] : 0;
        std::printf("probe report len=%zu b9=%02x b10=%02x\n", received, byte9, byte10);
        if (byte10 & 0x20) {
            if (!sendButtonReport(*camera, ButtonReport::Light) || !sendButtonReport(*camera, ButtonReport::Release))
                std::printf("probe light-failed\n");
        }
    }
}

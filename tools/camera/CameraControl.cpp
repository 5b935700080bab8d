#include "CameraControl.h"

#include "CameraTestbed.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

namespace camera_standin {

namespace {

std::vector<std::string> splitWords(const std::string &line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    std::string word;
    while (stream >> word)
        words.push_back(word);
    return words;
}

std::optional<unsigned> parseUnsigned(const std::string &text, unsigned limit)
{
    unsigned value = 0;
    const char *end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || value > limit)
        return std::nullopt;
    return value;
}

std::optional<CameraTestbed::Device> parseDevice(const std::string &text)
{
    for (const auto device : {CameraTestbed::Device::Camera, CameraTestbed::Device::OtherHid,
                              CameraTestbed::Device::OtherUsb}) {
        if (text == CameraTestbed::deviceName(device))
            return device;
    }
    return std::nullopt;
}

} // namespace

CameraControl::CameraControl(CameraTestbed &testbed, EventSink &sink)
    : testbed(testbed), sink(sink)
{
}

const std::vector<std::string> &CameraControl::helpLines()
{
    static const std::vector<std::string> lines{
        "# press BUTTON[+BUTTON...] [hold]  one report with the buttons, then a release unless hold",
        "#   BUTTON: rotate 162 164 onoff focus light 140 163 141, a command code (116),",
        "#   or byte.bit (10.5 is byte 10 bit 5; 9.0 is byte 9 bit 0)",
        "# release                          an all-zero report",
        "# report HEX...                    a raw report, Windows layout: byte 0 is the report ID 00",
        "# fail-read [COUNT] [ERRNO]        the next COUNT reads fail (1, EPROTO; EIO or ENODEV look like unplugging)",
        "# answer on|off                    answer button reports or stay silent",
        "# plug camera|hid|usb              plug in the camera, a keyboard (HID) or a webcam (USB video)",
        "# unplug camera|hid|usb            unplug it",
        "# video stall|run                  the camera stops sending frames, or sends again",
        "# status                           one status line",
        "# sleep MS                         wait before the next command",
        "# quit                             end the program under test and this one",
    };
    return lines;
}

CameraControl::Outcome CameraControl::execute(const std::string &line)
{
    const std::vector<std::string> words = splitWords(line);
    if (words.empty() || words.front().front() == '#')
        return Outcome::Continue;
    const std::string &command = words.front();
    if (command == "quit" || command == "exit") {
        return Outcome::Quit;
    } else if (command == "press") {
        press(words);
    } else if (command == "release") {
        if (!testbed.sendReport(CameraModel::release()))
            error("the camera is not plugged in");
    } else if (command == "report") {
        report(words);
    } else if (command == "fail-read") {
        failRead(words);
    } else if (command == "answer" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
        testbed.model().setAnswering(words[1] == "on");
        sink.event("answer " + words[1]);
    } else if ((command == "plug" || command == "unplug") && words.size() == 2) {
        plug(words, command == "plug");
    } else if (command == "video" && words.size() == 2 && (words[1] == "stall" || words[1] == "run")) {
        if (testbed.setVideoStalled(words[1] == "stall"))
            sink.event("video " + words[1]);
        else
            error("the camera is not plugged in");
    } else if (command == "status") {
        status();
    } else if (command == "sleep" && words.size() == 2 && parseUnsigned(words[1], 600000)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(*parseUnsigned(words[1], 600000)));
    } else if (command == "help") {
        for (const std::string &help : helpLines())
            sink.event(help);
    } else {
        error("cannot understand \"" + line + "\"; try help");
    }
    return Outcome::Continue;
}

void CameraControl::press(const std::vector<std::string> &words)
{
    const bool hold = words.size() == 3 && words[2] == "hold";
    if (words.size() < 2 || words.size() > 3 || (words.size() == 3 && !hold)) {
        error("usage: press BUTTON[+BUTTON...] [hold]");
        return;
    }
    std::vector<Button> buttons;
    std::string names;
    std::size_t start = 0;
    while (start <= words[1].size()) {
        std::size_t plus = words[1].find('+', start);
        if (plus == std::string::npos)
            plus = words[1].size();
        const std::string name = words[1].substr(start, plus - start);
        const std::optional<Button> button = findButton(name);
        if (!button) {
            error("no button \"" + name + "\"");
            return;
        }
        buttons.push_back(*button);
        names += (names.empty() ? "" : "+") + std::string(button->name);
        start = plus + 1;
    }
    sink.event("press " + names + (hold ? " hold" : ""));
    if (!testbed.press(buttons, hold))
        error("the camera is not plugged in");
}

void CameraControl::report(const std::vector<std::string> &words)
{
    const std::optional<std::vector<std::uint8_t>> bytes =
        parseHex(std::vector<std::string>(words.begin() + 1, words.end()));
    if (!bytes || bytes->empty() || bytes->size() > CameraModel::ReportLength) {
        error("usage: report HEX... (1 to 65 bytes, byte 0 the report ID 00)");
        return;
    }
    if (bytes->front() != 0) {
        error("the camera has no report IDs: byte 0 must be 00");
        return;
    }
    if (bytes->size() == 1) {
        error("a report needs at least one data byte after the report ID");
        return;
    }
    if (!testbed.sendReport(*bytes))
        error("the camera is not plugged in");
}

void CameraControl::failRead(const std::vector<std::string> &words)
{
    const std::optional<unsigned> count = words.size() > 1 ? parseUnsigned(words[1], 1000) : 1U;
    const std::optional<int> error = words.size() > 2 ? parseErrno(words[2]) : EPROTO;
    if (words.size() > 3 || !count || *count == 0 || !error) {
        this->error("usage: fail-read [COUNT] [ERRNO]");
        return;
    }
    if (!testbed.failReads(*error, *count)) {
        this->error("the camera is not plugged in");
        return;
    }
    sink.event("fail-read count=" + std::to_string(*count) + " errno=" + errnoName(*error));
}

void CameraControl::plug(const std::vector<std::string> &words, bool in)
{
    const std::optional<CameraTestbed::Device> device = parseDevice(words[1]);
    if (!device) {
        error("no device \"" + words[1] + "\": camera, hid or usb");
    } else if (testbed.plugged(*device) == in) {
        error(words[1] + (in ? " is already plugged in" : " is not plugged in"));
    } else if (in) {
        if (!testbed.plug(*device))
            error("cannot plug in " + words[1]);
    } else {
        testbed.unplug(*device);
    }
}

void CameraControl::status()
{
    using Device = CameraTestbed::Device;
    std::string line = "status";
    for (const Device device : {Device::Camera, Device::OtherHid, Device::OtherUsb})
        line += std::string(" ") + CameraTestbed::deviceName(device) + "="
                + (testbed.plugged(device) ? "plugged" : "unplugged");
    line += std::string(" light=") + (testbed.model().light() ? "on" : "off");
    line += std::string(" answer=") + (testbed.model().answering() ? "on" : "off");
    line += " frames=" + std::to_string(testbed.cameraFramesDelivered());
    sink.event(line);
}

void CameraControl::error(const std::string &text)
{
    sink.event("error " + text);
}

std::optional<std::vector<std::uint8_t>> CameraControl::parseHex(const std::vector<std::string> &words)
{
    std::vector<std::uint8_t> bytes;
    for (const std::string &word : words) {
        if (word.size() % 2 != 0)
            return std::nullopt;
        for (std::size_t i = 0; i < word.size(); i += 2) {
            std::uint8_t byte = 0;
            const char *begin = word.data() + i;
            const auto result = std::from_chars(begin, begin + 2, byte, 16);
            if (result.ec != std::errc() || result.ptr != begin + 2)
                return std::nullopt;
            bytes.push_back(byte);
        }
    }
    return bytes;
}

std::optional<int> CameraControl::parseErrno(const std::string &text)
{
    if (const std::optional<unsigned> number = parseUnsigned(text, 4095); number && *number > 0)
        return static_cast<int>(*number);
    for (int error = 1; error < 4096; ++error) {
        const char *name = ::strerrorname_np(error);
        if (name && text == name)
            return error;
    }
    return std::nullopt;
}

} // namespace camera_standin

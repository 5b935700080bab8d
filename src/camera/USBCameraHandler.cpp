#include "USBCameraHandler.h"

#include "protocol/ButtonReport.h"
#include "CameraCommunicationClass.h"
#include "platform/Platform.h"
#include "protocol/WatchdogCommand.h"

#include <QCoreApplication>
#include <QDebug>

#include <utility>
#include <vector>

namespace {

// How long one poll waits for a report before it lets a button report
// through; and how long a button report waits for the device's answer.
constexpr int PollReadSliceMs = 100;
constexpr int ButtonAnswerTimeoutMs = 1000;
constexpr unsigned long PollPauseMs = 10;
constexpr unsigned long AutoFocusSettleMs = 500;

struct Button
{
    std::size_t byte;
    std::uint8_t mask;
    int code;
};

// In order of precedence: when several bits are set, the first one counts.
constexpr Button Buttons[] = {
    {USBCameraHandler::ButtonByte, 0x01, ROTATE},
    {USBCameraHandler::ButtonByte, 0x02, 162},
    {USBCameraHandler::ButtonByte, 0x04, 164},
    {USBCameraHandler::ButtonByte, 0x08, VIEWER_ON_OFF},
    {USBCameraHandler::ButtonByte, 0x10, AUTO_FOCUS},
    {USBCameraHandler::ButtonByte, 0x20, LIGHT},
    {USBCameraHandler::ButtonByte, 0x40, 140},
    {USBCameraHandler::ButtonByte, 0x80, 163},
    {USBCameraHandler::ExtraButtonByte, 0x01, 141},
};

// Buttons whose sound plays only while the viewer runs: they mean something
// to the viewer alone.
bool soundOnlyWithViewer(int code)
{
    return code == 162 || code == 164 || code == 140 || code == 163 || code == 141;
}

} // namespace

USBCameraHandler::USBCameraHandler(QObject *parent)
    : QThread(parent)
{
    clock.start();
}

USBCameraHandler::~USBCameraHandler()
{
    running = false;
    if (const auto handle = device()) {
        handle->cancelIo();
        handle->close();
    }
    setDeviceHandle(nullptr);
    wait();
}

void USBCameraHandler::setDeviceHandle(std::shared_ptr<platform::HidDevice> handle)
{
    std::shared_ptr<platform::HidDevice> previous;
    {
        std::lock_guard locker(deviceMutex);
        previous = std::exchange(deviceHandle, std::move(handle));
    }
    // A read still waiting on the handle we were told to let go of must not
    // keep the reader: wake it.
    if (previous && previous != device())
        previous->cancelIo();
}

std::shared_ptr<platform::HidDevice> USBCameraHandler::device() const
{
    std::lock_guard locker(deviceMutex);
    return deviceHandle;
}

void USBCameraHandler::startReading()
{
    running = true;
    start(QThread::InheritPriority);
}

void USBCameraHandler::stopReading()
{
    running = false;
    exit(0);
    if (const auto handle = device())
        handle->cancelIo();
}

void USBCameraHandler::enableFocusByWatchdog()
{
    focusByWatchdog = true;
}

void USBCameraHandler::disableFocusByWatchdog()
{
    focusByWatchdog = false;
}

void USBCameraHandler::run()
{
    const auto handle = device();
    if (!handle) {
        qDebug() << "Error: HidD_GetPreparsedData failed";
        return;
    }
    std::size_t length = 0;
    switch (handle->inputReportLength(length)) {
    case platform::HidDevice::CapsStatus::NoDescriptor:
        qDebug() << "Error: HidD_GetPreparsedData failed";
        return;
    case platform::HidDevice::CapsStatus::NoCapabilities:
        qDebug() << "Error: HidP_GetCaps failed";
        return;
    case platform::HidDevice::CapsStatus::Read:
        break;
    }
    inputReportLength = length;
    lastReportTime = clock.elapsed();
    while (running) {
        msleep(PollPauseMs);
        pollInputReport();
    }
}

void USBCameraHandler::pollInputReport()
{
    const qint64 pollStart = clock.elapsed();
    const auto handle = device();
    if (!handle || inputReportLength == 0)
        return;

    std::vector<std::uint8_t> report(inputReportLength, 0);
    std::size_t received = 0;
    platform::HidDevice::ReadStatus status;
    {
        std::lock_guard exchange(ioMutex);
        handle->write(report.data(), report.size());
        status = handle->read(report.data(), report.size(), PollReadSliceMs, received);
    }
    if (status != platform::HidDevice::ReadStatus::Data || received < 2)
        return;

    unsigned sum = 0;
    for (std::size_t i = 1; i < received; ++i)
        sum += report[i];
    if (sum == 0)
        return;

    if (pollStart - lastReportTime > buttonInterval)
        handleInputReport(report.data() + 1, received - 1);
    // Every non-empty report re-arms the filter, acted on or not: a held
    // button keeps being dropped.
    lastReportTime = pollStart;
}

int USBCameraHandler::buttonCode(const std::uint8_t *data, std::size_t size)
{
    for (const Button &button : Buttons) {
        // data starts at report byte 1.
        const std::size_t index = button.byte - 1;
        if (index < size && (data[index] & button.mask))
            return button.code;
    }
    return 0;
}

bool USBCameraHandler::handleInputReport(const std::uint8_t *data, std::size_t size)
{
    if (!data)
        return false;
    refreshViewerRunning();
    int code = buttonCode(data, size);
    if (code == 0)
        return true;

    bool sound = !soundOnlyWithViewer(code) || viewerRunning;
    if (code == AUTO_FOCUS) {
        if (focusByWatchdog || !viewerRunning)
            autoFocus();
        else
            code = -1;
    } else if (code == LIGHT) {
        if (sendButtonReport(ButtonReport::Light) && sendButtonReport(ButtonReport::Release))
            bLEDStatus = !bLEDStatus;
    }

    if (sound)
        playConfirmationSound();
    emit sendInputBufferToWatchDog(code);
    return true;
}

bool USBCameraHandler::executeCameraCommand(int command)
{
    refreshViewerRunning();
    switch (command) {
    case LIGHT:
        if (!sendButtonReport(ButtonReport::Light)) {
            qDebug() << "light action unsuccessful bLEDStatus =" << bool(bLEDStatus);
            return false;
        }
        if (!sendButtonReport(ButtonReport::Release)) {
            qDebug() << "light action failed bLEDStatus=" << bool(bLEDStatus);
            return false;
        }
        bLEDStatus = !bLEDStatus;
        return bLEDStatus;
    case ROTATE:
        if (!sendButtonReport(ButtonReport::Rotate) || !sendButtonReport(ButtonReport::Release)) {
            qDebug() << "rotate action failed ";
            return false;
        }
        return true;
    case AUTO_FOCUS:
        if (focusByWatchdog)
            return autoFocus();
        if (viewerRunning)
            return false;
        return autoFocus();
    default:
        return false;
    }
}

bool USBCameraHandler::sendButtonReport(int value)
{
    const auto handle = device();
    if (!handle)
        return false;
    ButtonReport::Bytes report = ButtonReport{static_cast<std::uint8_t>(value & 0xFF)}.encode();
    std::lock_guard exchange(ioMutex);
    if (!handle->write(report.data(), report.size()))
        return false;
    std::size_t received = 0;
    return handle->read(report.data(), report.size(), ButtonAnswerTimeoutMs, received)
           == platform::HidDevice::ReadStatus::Data;
}

bool USBCameraHandler::autoFocus()
{
    CameraCommunicationClass *library = CameraCommunicationClass::instance();
    if (!library)
        return false;
    QThread::msleep(AutoFocusSettleMs);
    if (library->setAutoFocus())
        return true;
    qDebug() << "auto focus setting failed";
    return false;
}

void USBCameraHandler::refreshViewerRunning()
{
    bool found = false;
    platform::current().processes().isProcessRunning("tessel.exe", found);
    viewerRunning = found;
}

void USBCameraHandler::playConfirmationSound()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/ding.wav");
    platform::current().sound().play(path.toStdString());
}

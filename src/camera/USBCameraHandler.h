#pragma once

#include "platform/Hid.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Reads the camera's buttons from its HID interface, acts on them and emits
// their command codes; also carries out light, rotate and auto-focus on the
// camera for the watchdog server.
//
// Thread use: run() and the button actions run on this thread;
// executeCameraCommand() runs on its caller's thread. Every exchange with the
// device (the poll's write and read, a button report and its answer) holds
// ioMutex, so an answer is never taken by the other side. The poll reads in
// short slices so that a waiting button report gets its turn quickly.
class USBCameraHandler : public QThread
{
    Q_OBJECT

public:
    // Input report layout (Windows layout: byte 0 is the report ID).
    static constexpr std::size_t ExtraButtonByte = 9;
    static constexpr std::size_t ButtonByte = 10;

    explicit USBCameraHandler(QObject *parent = nullptr);
    ~USBCameraHandler() override;

    void setDeviceHandle(std::shared_ptr<platform::HidDevice> handle);
    void startReading();
    // Ends the read loop; a read in progress is woken at once.
    void stopReading();

    void enableFocusByWatchdog();
    void disableFocusByWatchdog();
    bool isFocusByWatchdog() const { return focusByWatchdog; }
    bool ledStatus() const { return bLEDStatus; }

    // LIGHT, ROTATE or AUTO_FOCUS on the camera; the result becomes the
    // state of the viewer's answer.
    bool executeCameraCommand(int command);
    // One button report exchange; true when the device answered.
    bool sendButtonReport(int value);
    // Decodes a report's data (report bytes 1 to n-1) and runs the button's
    // action; reports shorter than the button bytes count as zero there.
    bool handleInputReport(const std::uint8_t *data, std::size_t size);
    bool autoFocus();

    // The command code of a report's data, 0 when no button bit is set.
    static int buttonCode(const std::uint8_t *data, std::size_t size);

signals:
    void sendInputBufferToWatchDog(int command);
    void exitApplicationToWatchDog();
    void autoFocusButtonClicked();

protected:
    void run() override;

private:
    void pollInputReport();
    std::shared_ptr<platform::HidDevice> device() const;
    void refreshViewerRunning();
    void playConfirmationSound();

    std::atomic<bool> running{true};
    std::atomic<bool> bLEDStatus{false};
    const int buttonInterval = 500;
    std::shared_ptr<platform::HidDevice> deviceHandle;
    mutable std::mutex deviceMutex; // guards deviceHandle
    std::size_t inputReportLength = 0;
    // Poll time of the last non-empty report on a monotonic clock, so that
    // midnight or a clock change neither drops nor doubles a press.
    QElapsedTimer clock;
    qint64 lastReportTime = 0;
    std::atomic<bool> viewerRunning{false};
    std::atomic<bool> focusByWatchdog{false};
    std::mutex ioMutex;
};

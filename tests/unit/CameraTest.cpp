// The camera side: the control library binding and the button reader, over
// the fake platform.
#include "protocol/ButtonReport.h"
#include "camera/CameraCommunicationClass.h"
#include "camera/USBCameraHandler.h"
#include "protocol/WatchdogCommand.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <map>

namespace {

using Library = FakeControlLibrary;

class CameraTest : public ::testing::Test
{
protected:
    CameraTest() { Library::install(system.moduleLoader); }
    ~CameraTest() override { library()->unloadLibraries(); }

    static CameraCommunicationClass *library() { return CameraCommunicationClass::instance(); }

    fakes::FakePlatform system;
    LogCapture log;
};

// A report in the Windows layout with the given button bytes.
std::vector<std::uint8_t> report(std::uint8_t byte9, std::uint8_t byte10, std::size_t length = 65)
{
    std::vector<std::uint8_t> bytes(length, 0);
    bytes[9] = byte9;
    bytes[10] = byte10;
    return bytes;
}

// Data as handleInputReport gets it: report bytes 1 onwards.
std::vector<std::uint8_t> data(std::uint8_t byte9, std::uint8_t byte10)
{
    auto bytes = report(byte9, byte10);
    bytes.erase(bytes.begin());
    return bytes;
}

QList<int> emitted(const QSignalSpy &spy)
{
    QList<int> codes;
    for (const auto &arguments : spy)
        codes.append(arguments.at(0).toInt());
    return codes;
}

} // namespace

// ---- control library binding -------------------------------------------

TEST_F(CameraTest, LoadingNeedsTheFilterFirstAndReleasesItWhenTheLibraryIsMissing)
{
    system.moduleLoader.withdraw("tlxuvc.ax");
    EXPECT_FALSE(library()->loadLibraries());
    EXPECT_EQ(log.lines(), QStringList{"library tlxuvc.ax not loaded"});
    EXPECT_TRUE(library()->initLibrary()) << "nothing loaded: nothing to initialise";
    EXPECT_FALSE(library()->unloadLibraries());

    system.moduleLoader.provide("tlxuvc.ax", {});
    system.moduleLoader.withdraw("ZentraSw.dll");
    log.clear();
    EXPECT_FALSE(library()->loadLibraries());
    EXPECT_EQ(log.lines(), (QStringList{"library tlxuvc.ax after loaded", "library ZentraSw not loaded"}));
    EXPECT_EQ(system.moduleLoader.releaseCount("tlxuvc.ax"), 1);
    EXPECT_TRUE(system.moduleLoader.loaded().empty());
}

TEST_F(CameraTest, WithoutTheLibraryEveryCallAnswersWithoutCallingIt)
{
    EXPECT_TRUE(library()->initLibrary());
    EXPECT_TRUE(library()->getAutoFocusStatus());
    EXPECT_FALSE(library()->deInitLibrary());
    EXPECT_FALSE(library()->getLedStatus());
    EXPECT_FALSE(library()->setAutoFocus());
    EXPECT_EQ(Library::freezeCalls, 0);
}

TEST_F(CameraTest, InitialisationResults)
{
    ASSERT_TRUE(library()->loadLibraries());
    log.clear();
    EXPECT_TRUE(library()->initLibrary());
    EXPECT_EQ(log.lines(), (QStringList{"library ZentraSw loaded..", "local_InitLibrary() value:  1"}));

    Library::initResult = 2;
    EXPECT_TRUE(library()->initLibrary()) << "any non-zero value is success";

    Library::initResult = 0;
    log.clear();
    EXPECT_FALSE(library()->initLibrary());
    EXPECT_EQ(log.lines(), (QStringList{"library ZentraSw loaded..", "local_InitLibrary() value:  0",
                                        "can not access the InitLibrary() function"}));

    Library::deInitResult = 0;
    log.clear();
    EXPECT_FALSE(library()->deInitLibrary());
    EXPECT_EQ(log.lines(), QStringList{"DeInitLibrary() function:  0"});
}

TEST_F(CameraTest, LightStateIsOnOnlyForOne)
{
    ASSERT_TRUE(library()->loadLibraries());
    Library::ledResult = 1;
    EXPECT_TRUE(library()->getLedStatus());
    Library::ledResult = 2;
    EXPECT_FALSE(library()->getLedStatus());
}

TEST_F(CameraTest, AutoFocusRunsEvenWhenTheStatusReportsFailure)
{
    ASSERT_TRUE(library()->loadLibraries());
    Library::focusStatusResult = 5;
    log.clear();
    EXPECT_TRUE(library()->setAutoFocus());
    EXPECT_EQ(Library::freezeCalls, 1);
    EXPECT_EQ(Library::lastFreezeMode, 5);
    EXPECT_EQ(log.lines(),
              (QStringList{"Function rValue:  5  => USBComm: Get Focus status:  3",
                           "<CameraCommunicationClass::setAutoFocus()> GetAutofocus:  false",
                           "Now Goes for Single Trip Autofocus...", "Af focus set successfully 0"}));

    Library::freezeResult = -1;
    log.clear();
    EXPECT_FALSE(library()->setAutoFocus());
    EXPECT_TRUE(log.contains("AF return value:  -1"));
    Library::freezeResult = 7;
    EXPECT_TRUE(library()->setAutoFocus());
}

TEST_F(CameraTest, MissingFunctionsAreReportedByName)
{
    system.moduleLoader.provide("ZentraSw.dll", {});
    ASSERT_TRUE(library()->loadLibraries());
    log.clear();
    EXPECT_FALSE(library()->initLibrary());
    EXPECT_FALSE(library()->deInitLibrary());
    EXPECT_FALSE(library()->getLedStatus());
    EXPECT_FALSE(library()->getAutoFocusStatus());
    EXPECT_FALSE(library()->setAutoFocus());
    EXPECT_EQ(log.lines(), (QStringList{"library ZentraSw loaded..", "can not access the InitLibrary() function",
                                        "can not access the DeInitLibrary() function",
                                        "can not access the getLedStatus() function",
                                        "can not access the GetAFStatus() function",
                                        "can not access the GetAFStatus() function",
                                        "<CameraCommunicationClass::setAutoFocus()> GetAutofocus:  false",
                                        "Now Goes for Single Trip Autofocus...",
                                        "can not access the AFFreezeControl() function"}));
}

TEST_F(CameraTest, ReleaseFailuresKeepTheHandle)
{
    ASSERT_TRUE(library()->loadLibraries());
    system.moduleLoader.setReleaseFails("ZentraSw.dll", true);
    EXPECT_FALSE(library()->unloadLibraries());
    EXPECT_TRUE(log.contains("ZentraSw lib remove failed"));
    EXPECT_TRUE(library()->isLoaded());
    system.moduleLoader.setReleaseFails("ZentraSw.dll", false);
    EXPECT_TRUE(library()->unloadLibraries());
    EXPECT_FALSE(library()->isLoaded());
}

// ---- button decoding and actions ------------------------------------------

TEST_F(CameraTest, ButtonBitsMapToTheirCodesWithTheFirstSetBitWinning)
{
    const std::pair<std::pair<int, int>, int> table[] = {
        {{0, 0x01}, ROTATE}, {{0, 0x02}, 162}, {{0, 0x04}, 164}, {{0, 0x08}, VIEWER_ON_OFF},
        {{0, 0x10}, AUTO_FOCUS}, {{0, 0x20}, LIGHT}, {{0, 0x40}, 140}, {{0, 0x80}, 163},
        {{0x01, 0}, 141}, {{0x02, 0}, 0}, {{0x01, 0x21}, ROTATE}, {{0x01, 0x80}, 163}};
    for (const auto &[bytes, code] : table) {
        const auto payload = data(static_cast<std::uint8_t>(bytes.first), static_cast<std::uint8_t>(bytes.second));
        EXPECT_EQ(USBCameraHandler::buttonCode(payload.data(), payload.size()), code)
            << bytes.first << "/" << bytes.second;
    }
    // A short report is never read past its end: without byte 10 there is
    // no button there, whatever follows in memory.
    const std::uint8_t shortReport[] = {0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0xFF};
    EXPECT_EQ(USBCameraHandler::buttonCode(shortReport, 9), 141);
    EXPECT_EQ(USBCameraHandler::buttonCode(shortReport, 8), 0);
}

TEST_F(CameraTest, SoundPlaysForViewerButtonsOnlyWhileTheViewerRuns)
{
    USBCameraHandler handler;
    QSignalSpy codes(&handler, &USBCameraHandler::sendInputBufferToWatchDog);
    for (const int bit : {0x01, 0x02, 0x04, 0x08, 0x40, 0x80}) {
        const auto payload = data(0, static_cast<std::uint8_t>(bit));
        handler.handleInputReport(payload.data(), payload.size());
    }
    const auto extra = data(0x01, 0);
    handler.handleInputReport(extra.data(), extra.size());
    EXPECT_EQ(emitted(codes), (QList<int>{139, 162, 164, 93, 140, 163, 141}));
    EXPECT_EQ(system.soundPlayer.played().size(), 2u) << "only rotate and the on/off button";
    EXPECT_EQ(system.soundPlayer.played().front(),
              (QCoreApplication::applicationDirPath() + "/ding.wav").toStdString());

    system.soundPlayer.clear();
    system.processList.setRunning("TESSEL.EXE", true);
    handler.handleInputReport(extra.data(), extra.size());
    EXPECT_EQ(system.soundPlayer.played().size(), 1u);

    // A report with data but no button bit does nothing at all.
    system.soundPlayer.clear();
    codes.clear();
    const auto noButton = data(0x02, 0);
    EXPECT_TRUE(handler.handleInputReport(noButton.data(), noButton.size()));
    EXPECT_TRUE(codes.isEmpty());
    EXPECT_TRUE(system.soundPlayer.played().empty());
}

TEST_F(CameraTest, FocusButtonFocusesUnlessTheViewerRunsAndKeepsFocusItself)
{
    ASSERT_TRUE(library()->loadLibraries());
    USBCameraHandler handler;
    QSignalSpy codes(&handler, &USBCameraHandler::sendInputBufferToWatchDog);
    const auto focus = data(0, 0x10);

    system.processList.setRunning("tessel.exe", true);
    handler.handleInputReport(focus.data(), focus.size());
    EXPECT_EQ(Library::freezeCalls, 0);

    handler.enableFocusByWatchdog();
    handler.handleInputReport(focus.data(), focus.size());
    EXPECT_EQ(Library::freezeCalls, 1);

    handler.disableFocusByWatchdog();
    system.processList.setRunning("tessel.exe", false);
    Library::freezeResult = -1; // a failed focus still sounds and still sends 94
    handler.handleInputReport(focus.data(), focus.size());
    EXPECT_EQ(Library::freezeCalls, 2);
    EXPECT_TRUE(log.contains("auto focus setting failed"));

    EXPECT_EQ(emitted(codes), (QList<int>{-1, AUTO_FOCUS, AUTO_FOCUS}));
    EXPECT_EQ(system.soundPlayer.played().size(), 3u);
}

TEST_F(CameraTest, LightButtonTogglesOnlyWhenBothReportsAreAnswered)
{
    auto device = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    USBCameraHandler handler;
    handler.setDeviceHandle(device);
    QSignalSpy codes(&handler, &USBCameraHandler::sendInputBufferToWatchDog);
    const auto light = data(0, 0x20);

    handler.handleInputReport(light.data(), light.size());
    EXPECT_EQ(device->buttonValues(), (std::vector<int>{0x04, 0x00}));
    EXPECT_TRUE(handler.ledStatus());

    device->setAnswersButtonReports(false);
    handler.handleInputReport(light.data(), light.size());
    EXPECT_TRUE(handler.ledStatus()) << "an unanswered press changes nothing";
    EXPECT_EQ(emitted(codes), (QList<int>{LIGHT, LIGHT}));
}

TEST_F(CameraTest, CameraCommandsForTheServer)
{
    auto device = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    USBCameraHandler handler;
    handler.setDeviceHandle(device);

    EXPECT_TRUE(handler.executeCameraCommand(LIGHT));
    EXPECT_FALSE(handler.executeCameraCommand(LIGHT)) << "switching off reads as false";
    EXPECT_TRUE(handler.executeCameraCommand(ROTATE));
    EXPECT_EQ(device->buttonValues(), (std::vector<int>{0x04, 0x00, 0x04, 0x00, 0x02, 0x00}));
    EXPECT_FALSE(handler.executeCameraCommand(117));

    device->setWritesFail(true);
    EXPECT_FALSE(handler.executeCameraCommand(LIGHT));
    EXPECT_TRUE(log.contains("light action unsuccessful bLEDStatus = false"));
    EXPECT_FALSE(handler.executeCameraCommand(ROTATE));
    EXPECT_TRUE(log.contains("rotate action failed "));

    // Focus: never while the viewer runs and focuses itself.
    ASSERT_TRUE(library()->loadLibraries());
    system.processList.setRunning("tessel.exe", true);
    EXPECT_FALSE(handler.executeCameraCommand(AUTO_FOCUS));
    EXPECT_EQ(Library::freezeCalls, 0);
    handler.enableFocusByWatchdog();
    EXPECT_TRUE(handler.executeCameraCommand(AUTO_FOCUS));
    EXPECT_EQ(Library::freezeCalls, 1);
}

TEST_F(CameraTest, ReaderActsOnceOnAHeldButtonAndIgnoresEmptyAndShortReports)
{
    auto device = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    USBCameraHandler handler;
    QSignalSpy codes(&handler, &USBCameraHandler::sendInputBufferToWatchDog);
    handler.setDeviceHandle(device);
    handler.startReading();

    // The first report within 500 ms of the start is dropped.
    device->pushInputReport(report(0, 0x01));
    QThread::msleep(700);
    EXPECT_TRUE(codes.isEmpty());

    // A held button keeps reporting: acted on once.
    for (int i = 0; i < 5; ++i) {
        device->pushInputReport(report(0, 0x02));
        QThread::msleep(60);
    }
    device->pushInputReport(report(0, 0));
    QThread::msleep(700);
    device->pushInputReport(report(0, 0x40));
    ASSERT_TRUE(QTest::qWaitFor([&codes] { return codes.size() >= 2; }, 3000));
    QThread::msleep(100); // nothing more may follow
    EXPECT_EQ(emitted(codes), (QList<int>{162, 140}));

    handler.stopReading();
    EXPECT_TRUE(handler.wait(2000));
    // Every read was preceded by the zero-filled write of a report's length.
    const auto writes = device->writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), std::vector<std::uint8_t>(65, 0));
}

TEST_F(CameraTest, ReportsShorterThanTheButtonBytesAreHarmless)
{
    auto device = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 5);
    USBCameraHandler handler;
    QSignalSpy codes(&handler, &USBCameraHandler::sendInputBufferToWatchDog);
    handler.setDeviceHandle(device);
    handler.startReading();
    QThread::msleep(600);
    device->pushInputReport({0, 0xFF, 0xFF, 0xFF, 0xFF});
    QThread::msleep(300);
    handler.stopReading();
    EXPECT_TRUE(handler.wait(2000));
    EXPECT_TRUE(codes.isEmpty());
}

TEST_F(CameraTest, ReaderWithoutADeviceOrCapabilitiesEndsAtOnce)
{
    USBCameraHandler withoutDevice;
    withoutDevice.startReading();
    EXPECT_TRUE(withoutDevice.wait(2000));
    EXPECT_TRUE(log.contains("Error: HidD_GetPreparsedData failed"));

    auto device = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    device->setCapsReadable(false);
    USBCameraHandler withoutCaps;
    withoutCaps.setDeviceHandle(device);
    withoutCaps.startReading();
    EXPECT_TRUE(withoutCaps.wait(2000));
    EXPECT_TRUE(log.contains("Error: HidP_GetCaps failed"));

    // A handle that no longer gives its report descriptor fails at the
    // first of the two steps, and only that step is logged.
    log.clear();
    auto closed = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    closed->close();
    USBCameraHandler withoutDescriptor;
    withoutDescriptor.setDeviceHandle(closed);
    withoutDescriptor.startReading();
    EXPECT_TRUE(withoutDescriptor.wait(2000));
    EXPECT_EQ(log.lines(), QStringList{"Error: HidD_GetPreparsedData failed"});
}

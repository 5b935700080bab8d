// The HID device's reads and writes: time-out, cancel and close from
// another thread, and a device that goes away.
//
// No device here sends reports on demand: wine's only HID interfaces are
// its virtual mouse and keyboard, silent without a display. So most cases
// use the client end of a message-mode named pipe, opened through the same
// Win32Hid::open (CreateFileW, overlapped) and read through the same code,
// with the test playing the device at the server end. The system's own HID
// interfaces, where there are any, then show the attributes, the report
// length and the wake-ups on a real HID handle.
#include "PlatformTestSupport.h"
#include "Win32Hid.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <future>
#include <vector>

namespace {

using namespace platform_tests;
using namespace std::chrono_literals;
using platform::HidDevice;
using Status = platform::HidDevice::ReadStatus;
using Report = std::array<std::uint8_t, 65>;

Report report(std::uint8_t first)
{
    Report bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

Status readNow(HidDevice &device, std::uint8_t *buffer, std::size_t size, int timeoutMs)
{
    std::size_t received = 0;
    const Status status = device.read(buffer, size, timeoutMs, received);
    return status == Status::Data && received != size ? Status::Failed : status;
}

// A read without time limit in another thread, given time to block.
std::future<Status> blockedRead(HidDevice &device, std::uint8_t *buffer, std::size_t size)
{
    auto reading = std::async(std::launch::async, [&device, buffer, size] { return readNow(device, buffer, size, -1); });
    std::this_thread::sleep_for(100ms);
    return reading;
}

// Whether the read ended in time. One that did not is ended by closing the
// device, so that a failing test does not hang on it.
bool ended(std::future<Status> &reading, HidDevice &device)
{
    if (reading.wait_for(Deadline) == std::future_status::ready)
        return true;
    device.close();
    return false;
}

class PipeDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static std::atomic<int> counter{0};
        const std::string name = "\\\\.\\pipe\\tessel-hid-test-" + std::to_string(GetCurrentProcessId()) + "-"
                                 + std::to_string(++counter);
        server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                  4096, 4096, 0, nullptr);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
        int error = -1;
        device = platform::win32_backend::Win32Hid().open(name, error);
        ASSERT_NE(device, nullptr) << "error " << error;
        EXPECT_EQ(error, 0);
    }

    void TearDown() override
    {
        if (device)
            device->close();
        if (server != INVALID_HANDLE_VALUE)
            CloseHandle(server);
    }

    // The device sends one input report.
    void deliver(const Report &bytes)
    {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(server, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }

    Status read(int timeoutMs) { return readNow(*device, buffer.data(), buffer.size(), timeoutMs); }
    std::future<Status> blockedRead() { return ::blockedRead(*device, buffer.data(), buffer.size()); }

    HANDLE server = INVALID_HANDLE_VALUE;
    std::shared_ptr<HidDevice> device;
    Report buffer{};
};

TEST_F(PipeDevice, ReadsWholeReportsAndTimesOutWithoutLosingOne)
{
    deliver(report(1));
    ASSERT_EQ(read(1000), Status::Data);
    EXPECT_EQ(buffer, report(1));

    auto reading = blockedRead();
    deliver(report(50));
    ASSERT_TRUE(ended(reading, *device));
    EXPECT_EQ(reading.get(), Status::Data);
    EXPECT_EQ(buffer, report(50));

    EXPECT_EQ(read(50), Status::TimedOut);
    // The read that timed out was cancelled, not left to swallow the next
    // report.
    deliver(report(9));
    ASSERT_EQ(read(1000), Status::Data);
    EXPECT_EQ(buffer, report(9));
}

TEST_F(PipeDevice, CancelIoWakesOnlyTheReadInProgress)
{
    auto reading = blockedRead();
    device->cancelIo();
    ASSERT_TRUE(ended(reading, *device)) << "cancelIo did not wake the read";
    EXPECT_EQ(reading.get(), Status::Cancelled);

    // A cancel while no read runs is not kept for the next read, which may
    // be another thread's wait for the answer to a button report.
    device->cancelIo();
    EXPECT_EQ(read(50), Status::TimedOut);
    device->cancelIo();
    deliver(report(3));
    ASSERT_EQ(read(1000), Status::Data);
    EXPECT_EQ(buffer, report(3));
    device->cancelIo();
    reading = blockedRead();
    deliver(report(7));
    ASSERT_TRUE(ended(reading, *device));
    EXPECT_EQ(reading.get(), Status::Data);
    EXPECT_EQ(buffer, report(7));
}

TEST_F(PipeDevice, CloseWakesABlockedReadAndEndsAllIo)
{
    auto reading = blockedRead();
    device->close();
    ASSERT_TRUE(reading.wait_for(Deadline) == std::future_status::ready) << "close did not wake the read";
    EXPECT_EQ(reading.get(), Status::Gone);

    deliver(report(4));
    EXPECT_EQ(read(1000), Status::Gone);
    EXPECT_FALSE(device->write(buffer.data(), buffer.size()));
}

TEST_F(PipeDevice, DeviceThatGoesAwayReadsAsGone)
{
    auto reading = blockedRead();
    CloseHandle(server);
    server = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(ended(reading, *device));
    EXPECT_EQ(reading.get(), Status::Gone);
    EXPECT_FALSE(device->write(buffer.data(), buffer.size()));
}

TEST_F(PipeDevice, WritesReachTheDeviceWholeAndHidCallsRefuseIt)
{
    const Report sent = report(100);
    ASSERT_TRUE(device->write(sent.data(), sent.size()));
    Report got{};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(server, got.data(), static_cast<DWORD>(got.size()), &read, nullptr));
    EXPECT_EQ(read, got.size());
    EXPECT_EQ(got, sent);
    EXPECT_FALSE(device->write(sent.data(), 0));

    std::uint16_t vendor = 0, product = 0;
    EXPECT_FALSE(device->attributes(vendor, product));
    // A pipe has no report descriptor: the first of the two steps fails.
    std::size_t length = 0;
    EXPECT_EQ(device->inputReportLength(length), HidDevice::CapsStatus::NoDescriptor);
}

// The first of the system's HID interfaces that opens and answers.
class SystemHidDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::win32_backend::Win32Hid hid;
        const auto paths = hid.listInterfaces();
        ASSERT_TRUE(paths.has_value());
        for (const std::string &candidate : *paths) {
            int error = 0;
            auto opened = hid.open(candidate, error);
            if (opened && opened->attributes(vendor, product) && opened->inputReportLength(length) == HidDevice::CapsStatus::Read) {
                device = std::move(opened);
                path = candidate;
                buffer.resize(length);
                return;
            }
        }
        GTEST_SKIP() << "this system has no HID interface to open";
    }

    void TearDown() override
    {
        if (device)
            device->close();
    }

    std::shared_ptr<HidDevice> device;
    std::string path;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::size_t length = 0;
    std::vector<std::uint8_t> buffer;
};

TEST_F(SystemHidDevice, PathCarriesTheIdsAndReadsNeedTheWholeReportLength)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", vendor, product);
    EXPECT_NE(path.find(ids), std::string::npos) << path;

    ASSERT_GE(length, 2u) << "a report ID byte and at least one data byte";
    // The system refuses a buffer one byte short of the length we report.
    EXPECT_EQ(readNow(*device, buffer.data(), length - 1, 100), Status::Failed);
    const Status whole = readNow(*device, buffer.data(), length, 100);
    EXPECT_TRUE(whole == Status::TimedOut || whole == Status::Data);
}

TEST_F(SystemHidDevice, CancelIoAndCloseWakeABlockedRead)
{
    auto reading = blockedRead(*device, buffer.data(), length);
    device->cancelIo();
    ASSERT_TRUE(ended(reading, *device)) << "cancelIo did not wake the read";
    const Status cancelled = reading.get();
    EXPECT_TRUE(cancelled == Status::Cancelled || cancelled == Status::Data);

    reading = blockedRead(*device, buffer.data(), length);
    device->close();
    ASSERT_TRUE(reading.wait_for(Deadline) == std::future_status::ready) << "close did not wake the read";
    EXPECT_EQ(reading.get(), Status::Gone);
    EXPECT_FALSE(device->attributes(vendor, product));
}

} // namespace

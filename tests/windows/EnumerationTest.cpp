// Listing the present HID interfaces and video input devices runs against
// whatever the system has (under wine usually nothing): the results must
// be well formed either way, and a path that is gone gives a clear error.
#include "DirectShowVideoDevices.h"
#include "Win32Hid.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

namespace {

using platform::win32_backend::DirectShowVideoDevices;
using platform::win32_backend::Win32Hid;

bool wellFormedPath(const std::string &path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

TEST(Win32Hid, ListsThePresentInterfacesWithUsablePaths)
{
    Win32Hid hid;
    const auto paths = hid.listInterfaces();
    ASSERT_TRUE(paths.has_value()) << "the system's HID interface list could not be read";
    for (const std::string &path : *paths) {
        EXPECT_TRUE(wellFormedPath(path)) << path;
        // Every listed interface can be opened or gives the system's reason.
        int error = 0;
        const auto device = hid.open(path, error);
        EXPECT_TRUE(device || error != 0) << path;
    }
    std::printf("HID interfaces present: %zu\n", paths->size());
}

TEST(Win32Hid, OpeningAnInterfaceThatIsGoneGivesTheSystemError)
{
    Win32Hid hid;
    int error = 0;
    EXPECT_EQ(hid.open("\\\\?\\hid#vid_7a3e&pid_4b20#0&0000&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", error),
              nullptr);
    EXPECT_NE(error, 0);
    error = 0;
    EXPECT_EQ(hid.open("", error), nullptr);
    EXPECT_NE(error, 0);
}

TEST(DirectShowVideoDevices, ListIsEmptyOrWellFormed)
{
    DirectShowVideoDevices video;
    const auto devices = video.listDevicePaths();
    if (!devices) {
        std::printf("no video input device\n");
        return;
    }
    // "Found the category" means at least one device, readable or not.
    EXPECT_FALSE(devices->empty());
    for (const auto &path : *devices) {
        if (path) {
            EXPECT_TRUE(wellFormedPath(*path));
        }
    }
    std::printf("video input devices: %zu\n", devices->size());
}

// The calling thread's COM is as it was before the listing: absent, or of
// the kind the thread chose.
TEST(DirectShowVideoDevices, LeavesTheThreadsComAsItFoundIt)
{
    std::thread([] {
        DirectShowVideoDevices().listDevicePaths();
        // No COM left on the thread: the thread may still choose freely.
        const HRESULT free = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(free, S_OK);
        if (SUCCEEDED(free))
            CoUninitialize();
    }).join();

    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        DirectShowVideoDevices().listDevicePaths();
        // Still the thread's own apartment, not ended by the listing.
        const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(again, S_FALSE);
        if (SUCCEEDED(again))
            CoUninitialize();
        CoUninitialize();
    }).join();
}

} // namespace

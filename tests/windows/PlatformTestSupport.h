#pragma once

// Small helpers of the Win32 platform tests: the folder the test program
// lies in, a private scratch folder, and waiting for what another process
// or thread does (with a generous deadline, so that a fault fails the test
// instead of hanging it).

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace platform_tests {

inline std::filesystem::path programFile()
{
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    return std::filesystem::path(std::wstring(buffer, length));
}

inline std::filesystem::path runtimeDirectory()
{
    return programFile().parent_path();
}

// A fresh folder of this process's own under the system's temporary folder.
inline std::filesystem::path scratchDirectory(const std::string &purpose)
{
    static int counter = 0;
    const std::filesystem::path folder = std::filesystem::temp_directory_path()
                                         / ("tessel-" + purpose + "-" + std::to_string(GetCurrentProcessId()) + "-"
                                            + std::to_string(++counter));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::filesystem::path fromUtf8(const std::string &text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string toUtf8(const std::filesystem::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline constexpr auto Deadline = std::chrono::seconds(20);

template<typename Condition>
bool waitUntil(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + Deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Dispatches this thread's messages until the condition holds.
template<typename Condition>
bool pumpUntil(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + Deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// The helper program leaves its marker file where this variable says.
inline constexpr const wchar_t *MarkerVariable = L"TESSEL_TEST_MARKER";
inline constexpr const char *HelperProgram = "platform_test_helper.exe";

} // namespace platform_tests

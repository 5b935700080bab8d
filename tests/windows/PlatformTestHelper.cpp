// A small program the Win32 platform tests start. It writes the path it
// runs from (UTF-8) into the file that TESSEL_TEST_MARKER names, so a test
// sees which program was started. With "--hold NAME" it also holds the
// named mutex NAME until the named event "NAME.done" is set (or 30 s pass).
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string utf8(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    HANDLE mutex = nullptr;
    if (argc == 3 && std::wstring(argv[1]) == L"--hold")
        mutex = CreateMutexW(nullptr, FALSE, argv[2]);

    wchar_t marker[32768];
    const DWORD length = GetEnvironmentVariableW(L"TESSEL_TEST_MARKER", marker, 32768);
    if (length == 0 || length >= 32768)
        return 2;
    wchar_t self[32768];
    const DWORD selfLength = GetModuleFileNameW(nullptr, self, 32768);
    {
        // Written aside and renamed, so a test never reads half a marker.
        const std::filesystem::path target(std::wstring(marker, length));
        std::filesystem::path partial = target;
        partial += L".partial";
        std::ofstream(partial, std::ios::binary) << utf8(std::wstring(self, selfLength));
        if (!MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            return 3;
    }

    if (mutex) {
        const std::wstring doneName = std::wstring(argv[2]) + L".done";
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, doneName.c_str());
        WaitForSingleObject(done, 30000);
        CloseHandle(done);
        CloseHandle(mutex);
    }
    return 0;
}

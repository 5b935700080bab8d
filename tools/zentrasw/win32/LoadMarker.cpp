// ZentraSw.dll tells that it was loaded, and from where: when the variable
// ZENTRASW_LOADED names a file, each load into a process appends one line
// with the DLL's own path (UTF-8). Tests plant a copy where no program may
// load it from (the current folder, PATH) and look for the line. Written
// with the kernel's own calls only: DllMain runs under the loader's lock.
#include <windows.h>

namespace {

// Paths of tests are short; a longer one is not written.
constexpr DWORD PathCapacity = 4096;

void appendLoadLine(HINSTANCE module)
{
    wchar_t file[PathCapacity];
    const DWORD fileLength = GetEnvironmentVariableW(L"ZENTRASW_LOADED", file, PathCapacity);
    if (fileLength == 0 || fileLength >= PathCapacity)
        return;
    wchar_t self[PathCapacity];
    const DWORD selfLength = GetModuleFileNameW(module, self, PathCapacity);
    if (selfLength == 0 || selfLength >= PathCapacity)
        return;
    char line[3 * PathCapacity + 2];
    int length = WideCharToMultiByte(CP_UTF8, 0, self, static_cast<int>(selfLength), line, sizeof line - 2,
                                     nullptr, nullptr);
    if (length <= 0)
        return;
    line[length++] = '\n';
    HANDLE log = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(log);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        appendLoadLine(module);
    }
    return TRUE;
}

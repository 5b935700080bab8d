#include "Win32Processes.h"

#include "ComApartment.h"
#include "ProcessSession.h"
#include "WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace platform::win32_backend {

namespace {

bool isFile(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

Win32Processes::Win32Processes(SessionLookup lookup)
    : sessionOf(lookup ? std::move(lookup) : SessionLookup(sessionOfProcess)),
      ownSessionId(sessionOf(GetCurrentProcessId()))
{
}

bool Win32Processes::isProcessRunning(const std::string &exeName, bool &running)
{
    running = false;
    if (!ownSessionId)
        return false;
    const auto found = processesNamed(widen(exeName), sessionOf);
    if (!found)
        return false;
    running = std::any_of(found->begin(), found->end(), [this](const NamedProcess &process) {
        return process.session && *process.session == *ownSessionId;
    });
    return true;
}

std::wstring Win32Processes::programDirectory()
{
    // GetModuleFileNameW cuts a path that does not fit and says so only by
    // filling the buffer: grow it until the path fits.
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 4) {
        std::vector<wchar_t> buffer(capacity);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
        if (length == 0)
            return {};
        if (length < capacity) {
            std::wstring path(buffer.data(), length);
            const auto separator = path.find_last_of(L"\\/");
            return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
        }
    }
    return {};
}

std::wstring Win32Processes::findProgram(const std::wstring &name)
{
    if (name.empty())
        return {};
    const std::wstring directory = programDirectory();
    if (!directory.empty() && name.find_first_of(L"\\/:") == std::wstring::npos) {
        const std::wstring beside = directory + L"\\" + name;
        if (isFile(beside))
            return beside;
    }
    std::vector<wchar_t> found(MAX_PATH);
    for (;;) {
        const DWORD length = SearchPathW(nullptr, name.c_str(), L".exe", static_cast<DWORD>(found.size()),
                                         found.data(), nullptr);
        if (length == 0)
            return {};
        if (length < found.size())
            return isFile(found.data()) ? std::wstring(found.data(), length) : std::wstring();
        found.resize(length + 1); // length is the size needed, terminator included
    }
}

bool Win32Processes::startDetached(const std::string &program)
{
    const std::wstring path = findProgram(widen(program));
    if (path.empty())
        return false;

    // CreateProcessW may write into the command line, so it gets a copy.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // No console and no inherited handles: the program outlives us and must
    // not keep our sockets or our single-instance mutex alive.
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

int Win32Processes::shellExecute(const std::string &verb, const std::string &file)
{
    // The shell may hand the request to extensions that need COM on this
    // thread (the dispatch thread has none of its own).
    const ComApartment com;
    const HINSTANCE result = ShellExecuteW(nullptr, widen(verb).c_str(), widen(file).c_str(), nullptr, nullptr,
                                           SW_SHOWNORMAL);
    // Not a real instance handle: a result code, above 32 on success.
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    return code > INT_MAX ? INT_MAX : static_cast<int>(code);
}

} // namespace platform::win32_backend

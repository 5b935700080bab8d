#include "RunningProgram.h"

#include "ProcessSession.h"

namespace setup_helper {

namespace {

std::wstring normalised(const std::wstring &path)
{
    std::vector<wchar_t> full(32768);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    std::vector<wchar_t> longForm(32768);
    const DWORD longLength = GetLongPathNameW(full.data(), longForm.data(), static_cast<DWORD>(longForm.size()));
    if (longLength == 0 || longLength >= longForm.size())
        return std::wstring(full.data(), length);
    return std::wstring(longForm.data(), longLength);
}

// The file a process was started from; nothing when the process has ended
// or may not be asked (a protected process: never one of ours).
std::optional<std::wstring> imageOf(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return std::nullopt;
    std::vector<wchar_t> path(32768);
    DWORD length = static_cast<DWORD>(path.size());
    const bool read = QueryFullProcessImageNameW(process, 0, path.data(), &length);
    CloseHandle(process);
    if (!read)
        return std::nullopt;
    return std::wstring(path.data(), length);
}

} // namespace

bool samePath(const std::wstring &a, const std::wstring &b)
{
    const std::wstring first = normalised(a);
    const std::wstring second = normalised(b);
    return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE)
           == CSTR_EQUAL;
}

std::optional<std::vector<DWORD>> processesRunning(const std::wstring &path, std::FILE *out)
{
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    // Every process that runs the file carries its name.
    const auto named = platform::win32_backend::processesNamed(name);
    if (!named)
        return std::nullopt;
    std::vector<DWORD> running;
    for (const platform::win32_backend::NamedProcess &process : *named) {
        const std::optional<std::wstring> image = imageOf(process.id);
        if (!image)
            std::fprintf(out, "process %lu is named %ls; its file cannot be read: not counted\n", process.id,
                         name.c_str());
        else if (samePath(*image, path))
            running.push_back(process.id);
        else
            std::fprintf(out, "process %lu runs %ls, not %ls: not counted\n", process.id, image->c_str(),
                         path.c_str());
    }
    return running;
}

} // namespace setup_helper

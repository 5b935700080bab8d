#include "ProgramLocations.h"

#include "TlxuvcClassIds.h"
#include "WideText.h"

#include <windows.h>

namespace platform::win32_backend {

namespace {

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A string value of a key; REG_EXPAND_SZ comes back expanded. Nothing when
// the key or value is missing or is not a string.
std::optional<std::wstring> stringValue(HKEY root, const std::wstring &key)
{
    DWORD size = 0;
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS
        || size < sizeof(wchar_t))
        return std::nullopt;
    // The value may change between the two calls; one that grew is read
    // again once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        const LSTATUS result = RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &got);
        if (result == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (result != ERROR_SUCCESS)
            return std::nullopt;
        value.resize(wcsnlen(value.c_str(), value.size()));
        return value;
    }
    return std::nullopt;
}

// A path as registries write it: perhaps in double quotes.
std::optional<std::wstring> absolutePathValue(HKEY root, const std::wstring &key)
{
    std::optional<std::wstring> value = stringValue(root, key);
    if (!value)
        return std::nullopt;
    if (value->size() >= 2 && value->front() == L'"' && value->back() == L'"')
        *value = value->substr(1, value->size() - 2);
    if (!isAbsolutePath(*value))
        return std::nullopt;
    return value;
}

std::wstring joined(const std::wstring &folder, const std::wstring &name)
{
    if (folder.empty())
        return {};
    return isSeparator(folder.back()) ? folder + name : folder + L"\\" + name;
}

} // namespace

std::wstring programDirectory()
{
    // GetModuleFileNameW cuts a path that does not fit and says so only by
    // filling the buffer: grow it until the path fits.
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 4) {
        std::vector<wchar_t> buffer(capacity);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
        if (length == 0)
            return {};
        if (length < capacity)
            return folderOf(std::wstring(buffer.data(), length));
    }
    return {};
}

std::optional<std::wstring> registeredFilterModule()
{
    const std::wstring classKey = L"Software\\Classes\\CLSID\\" + widen(tlxuvc::FILTER_CLASS_TEXT)
                                  + L"\\InprocServer32";
    if (auto machine = absolutePathValue(HKEY_LOCAL_MACHINE, classKey))
        return machine;
    return absolutePathValue(HKEY_CURRENT_USER, classKey);
}

std::optional<std::wstring> registeredAppPath(const std::wstring &fileName)
{
    if (fileName.empty() || hasFolder(fileName))
        return std::nullopt;
    return absolutePathValue(HKEY_LOCAL_MACHINE,
                             L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + fileName);
}

SoftwareFolders SoftwareFolders::ofSystem()
{
    return {programDirectory(), registeredFilterModule()};
}

std::vector<std::wstring> moduleCandidates(const std::wstring &name, const SoftwareFolders &folders)
{
    std::vector<std::wstring> candidates;
    if (name.empty() || hasFolder(name))
        return candidates;
    if (!folders.programFolder.empty())
        candidates.push_back(joined(folders.programFolder, name));
    if (folders.registeredFilter)
        candidates.push_back(joined(folderOf(*folders.registeredFilter), name));
    return candidates;
}

std::vector<std::wstring> programCandidates(const std::wstring &name, const std::optional<std::wstring> &appPath,
                                            const SoftwareFolders &folders)
{
    std::vector<std::wstring> candidates;
    if (name.empty() || hasFolder(name))
        return candidates;
    if (appPath)
        candidates.push_back(*appPath);
    if (folders.registeredFilter)
        candidates.push_back(joined(folderOf(*folders.registeredFilter), name));
    if (!folders.programFolder.empty())
        candidates.push_back(joined(folders.programFolder, name));
    return candidates;
}

bool isAbsolutePath(const std::wstring &path)
{
    if (path.size() >= 3 && path[1] == L':' && isSeparator(path[2]) && iswalpha(path[0]))
        return true;
    // UNC and device paths: "\\server\share\...", "\\?\C:\...".
    return path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2]);
}

bool hasFolder(const std::wstring &name)
{
    return name.find_first_of(L"\\/:") != std::wstring::npos;
}

bool isFile(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring folderOf(const std::wstring &path)
{
    const auto separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring firstExistingFile(const std::vector<std::wstring> &candidates)
{
    for (const std::wstring &candidate : candidates) {
        if (isFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace platform::win32_backend

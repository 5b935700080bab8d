#include "Sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace platform::linux_backend::sysfs {

namespace {

constexpr std::size_t MaxAttributeSize = 64 * 1024;

std::optional<std::string> readWholeFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string content;
    char chunk[4096];
    bool failed = false;
    while (content.size() < MaxAttributeSize) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            failed = true;
        if (got <= 0)
            break;
        content.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (failed)
        return std::nullopt;
    return content;
}

bool parseEntryNumber(const std::string &name, const std::string &prefix, unsigned &number)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    unsigned long value = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || value > 100000)
            return false;
        value = value * 10 + static_cast<unsigned>(name[i] - '0');
    }
    number = static_cast<unsigned>(value);
    return true;
}

} // namespace

std::optional<std::vector<ClassEntry>> numberedEntries(const std::string &classDir,
                                                       const std::string &prefix)
{
    DIR *dir = ::opendir(classDir.c_str());
    if (!dir) {
        // A class folder appears with its first device: no folder, no device.
        if (errno == ENOENT)
            return std::vector<ClassEntry>{};
        return std::nullopt;
    }
    std::vector<ClassEntry> entries;
    while (const dirent *entry = ::readdir(dir)) {
        unsigned number = 0;
        if (parseEntryNumber(entry->d_name, prefix, number))
            entries.push_back({entry->d_name, number});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const ClassEntry &a, const ClassEntry &b) { return a.number < b.number; });
    return entries;
}

std::optional<std::string> deviceDirectory(const std::string &classDir, const std::string &name)
{
    const std::string link = classDir + "/" + name;
    char target[4096];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return std::nullopt;
    const std::filesystem::path targetPath(std::string(target, static_cast<std::size_t>(length)));
    // Resolved by hand rather than with realpath(): class links are relative
    // ("../../devices/..."), and this keeps the path inside /sys even when a
    // testbed serves it from elsewhere.
    const std::filesystem::path resolved = targetPath.is_absolute()
                                               ? targetPath.lexically_normal()
                                               : (std::filesystem::path(classDir) / targetPath).lexically_normal();
    return resolved.string();
}

std::optional<std::string> readAttribute(const std::string &deviceDir, const std::string &name)
{
    std::optional<std::string> value = readWholeFile(deviceDir + "/" + name);
    if (value) {
        while (!value->empty() && (value->back() == '\n' || value->back() == '\0'))
            value->pop_back();
    }
    return value;
}

std::optional<std::string> ueventValue(const std::string &deviceDir, const std::string &key)
{
    const std::optional<std::string> uevent = readWholeFile(deviceDir + "/uevent");
    if (!uevent)
        return std::nullopt;
    const std::string wanted = key + "=";
    std::size_t start = 0;
    while (start < uevent->size()) {
        std::size_t end = uevent->find('\n', start);
        if (end == std::string::npos)
            end = uevent->size();
        if (uevent->compare(start, wanted.size(), wanted) == 0)
            return uevent->substr(start + wanted.size(), end - start - wanted.size());
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> findAncestor(const std::string &deviceDir,
                                        const std::function<bool(const std::string &)> &accept)
{
    static const std::string devicesRoot = "/sys/devices";
    std::filesystem::path dir(deviceDir);
    while (dir.string().size() > devicesRoot.size()
           && dir.string().compare(0, devicesRoot.size() + 1, devicesRoot + "/") == 0) {
        if (accept(dir.string()))
            return dir.string();
        dir = dir.parent_path();
    }
    return std::nullopt;
}

std::string deviceNode(const std::string &deviceDir, const std::string &entryName)
{
    const std::optional<std::string> devName = ueventValue(deviceDir, "DEVNAME");
    if (devName && !devName->empty())
        return devName->front() == '/' ? *devName : "/dev/" + *devName;
    return "/dev/" + entryName;
}

std::string idsText(std::uint16_t vendorId, std::uint16_t productId)
{
    char text[32];
    std::snprintf(text, sizeof text, "vid_%04x&pid_%04x", vendorId, productId);
    return text;
}

std::optional<std::uint16_t> parseHexId(const std::string &text)
{
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    unsigned long value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    if (value > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace platform::linux_backend::sysfs

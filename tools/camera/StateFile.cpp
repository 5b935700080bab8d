#include "StateFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace camera_standin {

namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The key of a "key=value" line; empty for comments and other lines.
std::string keyOf(const std::string &line)
{
    const std::string text = trimmed(line);
    const auto equals = text.find('=');
    if (text.empty() || text.front() == '#' || equals == std::string::npos)
        return {};
    return trimmed(text.substr(0, equals));
}

std::vector<std::string> readLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line))
        lines.push_back(line);
    return lines;
}

} // namespace

StateFile::StateFile(std::string path)
    : filePath(std::move(path))
{
}

std::optional<std::string> StateFile::value(const std::string &key) const
{
    for (const std::string &line : readLines(filePath)) {
        if (keyOf(line) == key)
            return trimmed(line.substr(line.find('=') + 1));
    }
    return std::nullopt;
}

bool StateFile::set(const std::string &key, const std::string &value)
{
    std::vector<std::string> lines = readLines(filePath);
    bool found = false;
    for (std::string &line : lines) {
        if (keyOf(line) == key) {
            line = key + "=" + value;
            found = true;
        }
    }
    if (!found)
        lines.push_back(key + "=" + value);

    const std::string temporary = filePath + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const std::string &line : lines)
            out << line << '\n';
        out.flush();
        if (!out) {
            const int error = errno ? errno : EIO;
            std::remove(temporary.c_str());
            errno = error;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), filePath.c_str()) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}

} // namespace camera_standin

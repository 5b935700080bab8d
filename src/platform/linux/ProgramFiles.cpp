#include "ProgramFiles.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>
#include <strings.h>

namespace platform::linux_backend {

std::string programDirectory()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return ".";
    return self.parent_path().string();
}

std::string withoutExeSuffix(const std::string &name)
{
    constexpr std::size_t suffixLength = 4;
    if (name.size() > suffixLength
        && ::strcasecmp(name.c_str() + name.size() - suffixLength, ".exe") == 0)
        return name.substr(0, name.size() - suffixLength);
    return name;
}

namespace {

ProgramLookup inspect(const std::string &candidate)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(candidate, error))
        return ProgramLookup::NotFound;
    return ::access(candidate.c_str(), X_OK) == 0 ? ProgramLookup::Found
                                                  : ProgramLookup::NotExecutable;
}

} // namespace

ProgramLookup findProgram(const std::string &windowsName, std::string &path)
{
    const std::string name = withoutExeSuffix(windowsName);
    if (name.empty())
        return ProgramLookup::NotFound;
    if (name.find('/') != std::string::npos) {
        path = name;
        return inspect(name);
    }

    std::vector<std::string> directories{programDirectory()};
    if (const char *searchPath = std::getenv("PATH")) {
        std::stringstream entries(searchPath);
        for (std::string entry; std::getline(entries, entry, ':');)
            directories.push_back(entry.empty() ? "." : entry);
    }

    ProgramLookup best = ProgramLookup::NotFound;
    for (const std::string &directory : directories) {
        const std::string candidate = directory + "/" + name;
        const ProgramLookup found = inspect(candidate);
        if (found == ProgramLookup::Found) {
            path = candidate;
            return found;
        }
        if (found == ProgramLookup::NotExecutable && best == ProgramLookup::NotFound) {
            path = candidate;
            best = found;
        }
    }
    return best;
}

} // namespace platform::linux_backend

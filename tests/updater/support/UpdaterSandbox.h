#pragma once

#include "support/TestPlatform.h"

#include <filesystem>
#include <string>
#include <vector>

namespace updater_tests {

// A throw-away folder with a copy of the updater and its control library,
// the filter arranged as asked, and a state file for the stand-ins. The
// updater runs with the work folder as its current directory.
class UpdaterSandbox
{
public:
    explicit UpdaterSandbox(FilterSetup setup = FilterSetup::InPlace);
    ~UpdaterSandbox();
    UpdaterSandbox(const UpdaterSandbox &) = delete;
    UpdaterSandbox &operator=(const UpdaterSandbox &) = delete;

    // Replaces the state file: the given key=value lines, after the lines
    // that name the call log and the file that receives a flashed image.
    void setState(const std::string &lines);
    ChildResult run(const std::vector<std::string> &arguments) const;
    // Sets a variable of the updater's environment (there is no system bus
    // unless DBUS_SYSTEM_BUS_ADDRESS names one).
    void setEnvironment(const std::string &name, const std::string &value);

    // The stand-ins' call log, one entry a line.
    std::vector<std::string> calls() const;
    // The image the library was given, empty when none.
    std::string flashedImage() const;

    const SandboxFolders &folders() const { return paths; }
    std::filesystem::path programFile() const;
    std::filesystem::path workFile(const std::string &name) const { return paths.work / name; }

    void writeWorkFile(const std::string &name, const std::string &bytes) const;
    // An image file and its checksum file holding the correct digest line.
    void writeImageWithChecksum(const std::string &name, const std::string &bytes) const;

private:
    std::filesystem::path root;
    FilterSetup filterSetup;
    SandboxFolders paths;
    Environment environment;
};

std::string readFile(const std::filesystem::path &path);
// A test image of the given length; different seeds give different bytes.
std::string makeImage(std::size_t length, unsigned seed);
// The lower-case hexadecimal MD5 digest of the bytes.
std::string md5Hex(const std::string &bytes);

} // namespace updater_tests

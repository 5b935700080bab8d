#pragma once

#include "Console.h"
#include "ControlLibrary.h"
#include "platform/FilterRegistration.h"
#include "platform/KeepAwake.h"
#include "platform/Md5.h"
#include "platform/ProgramFile.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace updater {

// What the updater needs from its surroundings; tests hand in fakes.
struct UpdaterServices
{
    UpdaterServices(Console &output, ControlLibrary &controlLibrary, platform::FilterRegistration &filterModule)
        : console(output), library(controlLibrary), filter(filterModule)
    {
    }

    Console &console;
    ControlLibrary &library;
    platform::FilterRegistration &filter;
    std::function<std::optional<platform::Md5Digest>(const unsigned char *, std::size_t)> md5 = platform::computeMd5;
    std::function<std::optional<std::string>()> programFile = platform::programFilePath;
    // Where "backup.bin" and "backup.bin.md5" go; empty for the current
    // directory.
    std::string backupDirectory;
    // What keeps the machine awake during a firmware write; none when empty.
    std::function<std::unique_ptr<platform::KeepAwake>()> keepAwake;
};

// Exit statuses: a script can tell success from failure; the texts say
// which failure it was.
inline constexpr int EXIT_SUCCEEDED = 0;
inline constexpr int EXIT_FAILED = 1;

// The firmware updater: one run, one action (print the version, back the
// firmware up, or check and write an image).
class ZentraUpdater
{
public:
    explicit ZentraUpdater(UpdaterServices services);

    // Runs with the command-line arguments after the program name and
    // returns the exit status.
    int run(const std::vector<std::string> &arguments);

    // The image file and where the image starts in it: the named file from
    // its start, or without a name the program's own file at
    // EMBEDDED_IMAGE_OFFSET.
    bool getFirmwarePath(const std::optional<std::string> &imagePath, std::string &path, long &offset);
    // Reads the image into the image buffer; 0 or -1.
    int loadFirmwareImage(const std::optional<std::string> &imagePath);
    // Checks the image buffer against the image's ".md5" file; 0 or -1.
    int verifyImageChecksum(const std::optional<std::string> &imagePath);
    // The digest text of the image buffer; false when no digest could be
    // computed.
    bool computeImageDigest();

    const std::vector<unsigned char> &imageBuffer() const { return image; }
    const std::string &imageDigestText() const { return digest; }

private:
    bool makeFilterAvailable();
    bool runAction(const std::vector<std::string> &arguments);
    bool printVersion();
    bool backupFirmware();
    bool writeBackupFiles();
    bool updateFirmware(const std::optional<std::string> &imagePath);

    UpdaterServices services;
    std::vector<unsigned char> image;
    std::string digest;
    bool registeredFilter = false;
};

} // namespace updater

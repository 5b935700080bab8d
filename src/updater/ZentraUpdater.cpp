#include "ZentraUpdater.h"

#include "ChecksumLine.h"
#include "FirmwareImage.h"
#include "ProgressReporter.h"
#include "SleepGuard.h"
#include "StagedFile.h"
#include "VersionText.h"
#include "platform/FileSystem.h"

#include <array>
#include <cstdio>
#include <filesystem>

namespace updater {

namespace {

constexpr int IMAGE_SIZE = static_cast<int>(FIRMWARE_IMAGE_SIZE);

} // namespace

ZentraUpdater::ZentraUpdater(UpdaterServices given)
    : services(std::move(given))
{
}

int ZentraUpdater::run(const std::vector<std::string> &arguments)
{
    services.filter.openSession();
    image.assign(FIRMWARE_IMAGE_SIZE, 0);
    registeredFilter = false;

    if (!makeFilterAvailable()) {
        services.filter.closeSession();
        return EXIT_FAILED;
    }
    const bool succeeded = runAction(arguments);

    if (registeredFilter)
        services.filter.unregisterFilter();
    services.filter.closeSession();
    return succeeded ? EXIT_SUCCEEDED : EXIT_FAILED;
}

bool ZentraUpdater::makeFilterAvailable()
{
    if (services.filter.filterInPlace())
        return true;
    services.filter.registerFilter();
    registeredFilter = true;
    if (services.filter.filterInPlace())
        return true;
    services.console.err("Error registering tlxuvc\n");
    services.filter.unregisterFilter();
    return false;
}

bool ZentraUpdater::runAction(const std::vector<std::string> &arguments)
{
    if (services.library.initLibrary() != 1) {
        services.console.err("Failed to initialize zentra support library\n");
        return false;
    }

    std::optional<std::string> imagePath;
    if (!arguments.empty()) {
        if (arguments[0] == "/backup")
            return backupFirmware();
        if (arguments[0] == "/version")
            return printVersion();
        if (arguments[0] == "/file" && arguments.size() > 1)
            imagePath = arguments[1];
    }
    return updateFirmware(imagePath);
}

bool ZentraUpdater::printVersion()
{
    std::array<ZentraWideChar, ZENTRA_VERSION_TEXT_CAPACITY> buffer{};
    services.library.getFirmwareVersionInfo(buffer.data());
    // A text the library left unterminated ends with the buffer.
    std::u16string wide(buffer.begin(), buffer.end());
    services.console.out(narrowVersionText(wide) + "\n");
    return true;
}

bool ZentraUpdater::backupFirmware()
{
    int written = 0;
    if (services.library.firmwareBackup(image.data(), IMAGE_SIZE, &written, 0) != 0) {
        services.console.err("Error backing up firmware\n");
        return false;
    }
    if (!computeImageDigest()) {
        services.console.err("Checksum failed\n");
        return false;
    }
    return writeBackupFiles();
}

bool ZentraUpdater::writeBackupFiles()
{
    const std::filesystem::path directory(services.backupDirectory);
    StagedFile imageFile((directory / "backup.bin").string());
    StagedFile digestFile((directory / "backup.bin.md5").string());

    // Both files are complete before either replaces an older pair.
    const auto failed = [this](const StagedFile &file) {
        services.console.err("Can't Write " + file.path() + "\n");
        return false;
    };
    if (!imageFile.write(std::string_view(reinterpret_cast<const char *>(image.data()), image.size()),
                         StagedFile::Mode::Binary))
        return failed(imageFile);
    if (!digestFile.write(digest, StagedFile::Mode::Text))
        return failed(digestFile);
    // An image without its checksum file is no backup to rely on, and a
    // failed backup must not cost the one already there: both new files
    // replace the older pair, or neither does.
    if (const StagedFile *notInPlace = StagedFile::commitTogether({&imageFile, &digestFile}))
        return failed(*notInPlace);
    return true;
}

bool ZentraUpdater::updateFirmware(const std::optional<std::string> &imagePath)
{
    if (loadFirmwareImage(imagePath) != 0) {
        services.console.err("Failed to load firmware image data\n");
        return false;
    }
    services.console.out("UPDATE\n");
    services.console.flushOut();

    if (verifyImageChecksum(imagePath) != 0) {
        services.console.err("Checksum failed\n");
        return false;
    }

    int result = 0;
    {
        SleepGuard awake(services.console, services.keepAwake ? services.keepAwake() : nullptr);
        ProgressReporter progress(services.console);
        result = services.library.firmwareUpdate(image.data(), IMAGE_SIZE, &ProgressReporter::reportProgress);
    }
    if (result != 0) {
        services.console.err("Firmware update failed\n");
        return false;
    }
    services.console.out("Firmware Updated\n");
    services.library.deInitLibrary();
    return true;
}

bool ZentraUpdater::getFirmwarePath(const std::optional<std::string> &imagePath, std::string &path, long &offset)
{
    if (!imagePath) {
        const auto ownFile = services.programFile ? services.programFile() : std::nullopt;
        if (!ownFile || ownFile->empty() || ownFile->size() > MAX_IMAGE_PATH_LENGTH)
            return false;
        offset = EMBEDDED_IMAGE_OFFSET;
        path = *ownFile;
        return true;
    }
    // A folder passes too, as in the system's own existence test.
    if (!platform::pathExists(*imagePath)) {
        services.console.err("Firmware file does not exist\n");
        return false;
    }
    if (imagePath->size() > MAX_IMAGE_PATH_LENGTH) {
        services.console.err("File name exceeds max length\n");
        return false;
    }
    offset = 0;
    path = *imagePath;
    return true;
}

int ZentraUpdater::loadFirmwareImage(const std::optional<std::string> &imagePath)
{
    std::string path;
    long offset = 0;
    if (!getFirmwarePath(imagePath, path, offset)) {
        services.console.err("Can't get file\n");
        return -1;
    }
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        services.console.err("Can't Open " + path + "\n");
        return -1;
    }
    std::size_t got = 0;
    if (std::fseek(file, offset, SEEK_SET) == 0)
        got = std::fread(image.data(), 1, image.size(), file);
    std::fclose(file);
    if (got < image.size()) {
        services.console.err("Read error - incomplete firmware\n");
        return -1;
    }
    return 0;
}

int ZentraUpdater::verifyImageChecksum(const std::optional<std::string> &imagePath)
{
    std::string path;
    long offset = 0;
    if (!getFirmwarePath(imagePath, path, offset)) {
        services.console.err("Can't get file\n");
        return -1;
    }
    const std::string checksumPath = path + ".md5";
    const auto line = readChecksumLine(checksumPath);
    if (!line) {
        services.console.err("Can't Open " + checksumPath + "\n");
        return -1;
    }
    // Without a digest there is nothing to compare with: the check fails,
    // however the file reads.
    if (!computeImageDigest())
        return -1;
    return checksumLineMatches(*line, digest) ? 0 : -1;
}

bool ZentraUpdater::computeImageDigest()
{
    const auto computed = services.md5 ? services.md5(image.data(), image.size()) : std::nullopt;
    if (!computed) {
        digest.clear();
        return false;
    }
    digest = digestText(*computed);
    return true;
}

} // namespace updater

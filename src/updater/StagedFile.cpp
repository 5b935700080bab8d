#include "StagedFile.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace updater {

StagedFile::StagedFile(std::string path)
    : finalPath(std::move(path)), stagingPath(finalPath + ".partial")
{
}

StagedFile::~StagedFile()
{
    discard();
}

bool StagedFile::write(std::string_view content, Mode mode)
{
    discard();
    std::FILE *file = std::fopen(stagingPath.c_str(), mode == Mode::Binary ? "wb" : "w");
    if (!file)
        return false;
    staged = true;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    // A full disk may only show when the buffer is flushed at close.
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        discard();
        return false;
    }
    return true;
}

bool StagedFile::commit()
{
    if (!staged)
        return false;
    std::error_code error;
    // Replaces an existing file on every system (a plain C rename does not
    // on Windows).
    std::filesystem::rename(stagingPath, finalPath, error);
    if (error)
        return false;
    staged = false;
    return true;
}

void StagedFile::discard()
{
    if (!staged)
        return;
    std::error_code ignored;
    std::filesystem::remove(stagingPath, ignored);
    staged = false;
}

} // namespace updater

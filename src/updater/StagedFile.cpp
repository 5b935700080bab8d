#include "StagedFile.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

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

namespace {

// The file a new one is about to replace, moved out of its way.
class PreviousFile
{
public:
    explicit PreviousFile(const std::string &path) : path(path), asidePath(path + ".previous") {}

    bool setAside()
    {
        std::error_code error;
        const auto type = std::filesystem::symlink_status(path, error).type();
        // A folder under the name is no file of ours: it stays, and the new
        // file then fails to take its place.
        if (type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::directory)
            return true;
        if (error)
            return false;
        std::filesystem::rename(path, asidePath, error);
        movedAside = !error;
        return movedAside;
    }

    // newFileInPlace: whether the new file has already replaced this one.
    void restore(bool newFileInPlace)
    {
        std::error_code ignored;
        if (movedAside)
            std::filesystem::rename(asidePath, path, ignored); // replaces the new file
        else if (newFileInPlace)
            std::filesystem::remove(path, ignored);
        // An older file that cannot be moved back stays under its aside
        // name rather than being lost.
    }

    void drop()
    {
        std::error_code ignored;
        if (movedAside)
            std::filesystem::remove(asidePath, ignored);
    }

private:
    std::string path;
    std::string asidePath;
    bool movedAside = false;
};

} // namespace

const StagedFile *StagedFile::commitTogether(std::initializer_list<StagedFile *> files)
{
    std::vector<PreviousFile> previous;
    previous.reserve(files.size());
    std::size_t inPlace = 0;
    const StagedFile *failed = nullptr;
    for (StagedFile *file : files) {
        previous.emplace_back(file->finalPath);
        if (!file->staged || !previous.back().setAside()) {
            failed = file;
            break;
        }
    }
    if (!failed) {
        for (StagedFile *file : files) {
            if (!file->commit()) {
                failed = file;
                break;
            }
            ++inPlace;
        }
    }
    for (std::size_t i = 0; i < previous.size(); ++i) {
        if (failed)
            previous[i].restore(i < inPlace);
        else
            previous[i].drop();
    }
    return failed;
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

#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace updater {

// A file written under a temporary name and moved into place only once it
// is complete, so that a failed write never leaves a half-written file
// under the real name. An uncommitted temporary file is removed.
class StagedFile
{
public:
    enum class Mode { Binary, Text };

    explicit StagedFile(std::string path);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    // Writes the whole content to the temporary file.
    bool write(std::string_view content, Mode mode);
    // Replaces the real file with the written one.
    bool commit();

    // Moves every written file into place, or none: the files they replace
    // are kept aside until all the new ones are in place, and put back when
    // a step fails. Returns the file that could not be put in place, or null.
    static const StagedFile *commitTogether(std::initializer_list<StagedFile *> files);

    const std::string &path() const { return finalPath; }

private:
    void discard();

    std::string finalPath;
    std::string stagingPath;
    bool staged = false;
};

} // namespace updater

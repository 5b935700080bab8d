#pragma once

#include <optional>
#include <string>

namespace camera_standin {

// The control library stand-in's state file: "key=value" lines and "#"
// comments. The stand-in reads it while we write it, so every change
// rewrites the whole file beside it and renames it into place; lines we do
// not own are kept as they were.
class StateFile
{
public:
    explicit StateFile(std::string path);

    const std::string &path() const { return filePath; }
    std::optional<std::string> value(const std::string &key) const;
    // False when the file cannot be written; errno tells why.
    bool set(const std::string &key, const std::string &value);

private:
    std::string filePath;
};

} // namespace camera_standin

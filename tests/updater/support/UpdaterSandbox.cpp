#include "support/UpdaterSandbox.h"

#include "platform/Md5.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace updater_tests {

namespace fs = std::filesystem;

namespace {

fs::path freshRoot()
{
    std::random_device entropy;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = fs::temp_directory_path()
                               / ("zentra-updater-" + std::to_string(stamp % 1000000) + "-" + std::to_string(entropy()));
        if (fs::create_directory(candidate))
            return candidate;
    }
    throw std::runtime_error("cannot make a sandbox folder");
}

void writeBytes(const fs::path &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

UpdaterSandbox::UpdaterSandbox(FilterSetup setup)
    : root(freshRoot()), filterSetup(setup)
{
    paths.program = root / "program";
    paths.work = root / "work";
    paths.tools = root / "tools";
    paths.callLog = paths.work / "calls.log";
    fs::create_directories(paths.program);
    fs::create_directories(paths.work);
    fs::create_directories(paths.tools);
    for (const char *file : {UPDATER_PROGRAM, CONTROL_LIBRARY})
        fs::copy_file(runtimeDirectory() / file, paths.program / file);
    environment = arrangeFilter(paths, setup);
    environment.emplace_back("ZENTRASW_STATE", (paths.work / "state.txt").string());
    // No system bus unless a test brings one: the same outcome on every
    // machine, whether it runs logind or not.
    environment.emplace_back("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root / "no-system-bus").string());
    setState("");
}

UpdaterSandbox::~UpdaterSandbox()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

void UpdaterSandbox::setState(const std::string &lines)
{
    writeBytes(paths.work / "state.txt", "CallLog=" + paths.callLog.string() + "\n"
                                             + "UpdateImageOut=" + workFile("flashed.bin").string() + "\n"
                                             + filterState(filterSetup) + lines + "\n");
}

void UpdaterSandbox::setEnvironment(const std::string &name, const std::string &value)
{
    for (auto &[known, current] : environment) {
        if (known == name) {
            current = value;
            return;
        }
    }
    environment.emplace_back(name, value);
}

ChildResult UpdaterSandbox::run(const std::vector<std::string> &arguments) const
{
    return runChild({programFile(), arguments, paths.work, environment});
}

std::vector<std::string> UpdaterSandbox::calls() const
{
    std::vector<std::string> lines;
    std::istringstream log(fs::exists(paths.callLog) ? readFile(paths.callLog) : std::string());
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back(); // batch files write CR LF
        lines.push_back(line);
    }
    return lines;
}

std::string UpdaterSandbox::flashedImage() const
{
    const auto flashed = workFile("flashed.bin");
    return fs::exists(flashed) ? readFile(flashed) : std::string();
}

fs::path UpdaterSandbox::programFile() const
{
    return paths.program / UPDATER_PROGRAM;
}

void UpdaterSandbox::writeWorkFile(const std::string &name, const std::string &bytes) const
{
    writeBytes(workFile(name), bytes);
}

void UpdaterSandbox::writeImageWithChecksum(const std::string &name, const std::string &bytes) const
{
    writeWorkFile(name, bytes);
    writeWorkFile(name + ".md5", md5Hex(bytes.substr(0, 16384)) + "\n");
}

std::string readFile(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::string makeImage(std::size_t length, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(length, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

std::string md5Hex(const std::string &bytes)
{
    const auto digest = platform::computeMd5(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    if (!digest)
        throw std::runtime_error("no MD5 on this system");
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    for (const auto byte : *digest) {
        text += hexDigits[byte >> 4];
        text += hexDigits[byte & 0x0F];
    }
    return text;
}

} // namespace updater_tests

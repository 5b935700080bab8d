#include "Testbed.h"

#include <umockdev.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace camera_standin {

namespace {

const char *const PreloadLibrary = "libumockdev-preload.so.0";
const char *const RestartMark = "TESSEL_UMOCKDEV_RESTARTED";

// umockdev_in_mock_environment() also wants a testbed to exist; what
// matters here is whether the library is mapped.
bool preloadLoaded()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libumockdev-preload") != std::string::npos)
            return true;
    }
    return false;
}

// umockdev takes NULL-terminated name/value arrays.
std::vector<gchar *> flatten(const NameValues &pairs)
{
    std::vector<gchar *> flat;
    for (const auto &[name, value] : pairs) {
        flat.push_back(const_cast<gchar *>(name.c_str()));
        flat.push_back(const_cast<gchar *>(value.c_str()));
    }
    flat.push_back(nullptr);
    return flat;
}

} // namespace

Testbed::Testbed()
    : testbed(umockdev_testbed_new())
{
    gchar *dir = umockdev_testbed_get_root_dir(testbed);
    rootDir = dir;
    g_free(dir);
}

Testbed::~Testbed()
{
    g_object_unref(testbed);
}

std::string Testbed::addDevice(const std::string &subsystem, const std::string &name,
                               const std::string &parent, const NameValues &attributes,
                               const NameValues &properties)
{
    std::vector<gchar *> attributeArray = flatten(attributes);
    std::vector<gchar *> propertyArray = flatten(properties);
    gchar *path = umockdev_testbed_add_devicev(testbed, subsystem.c_str(), name.c_str(),
                                               parent.empty() ? nullptr : parent.c_str(),
                                               attributeArray.data(), propertyArray.data());
    if (!path)
        return {};
    std::string result = path;
    g_free(path);
    return result;
}

void Testbed::setBinaryAttribute(const std::string &devicePath, const std::string &name,
                                 const std::vector<std::uint8_t> &value)
{
    umockdev_testbed_set_attribute_binary(testbed, devicePath.c_str(), name.c_str(),
                                          const_cast<guint8 *>(value.data()),
                                          static_cast<gint>(value.size()));
}

void Testbed::removeDevice(const std::string &devicePath)
{
    umockdev_testbed_remove_device(testbed, devicePath.c_str());
}

void Testbed::uevent(const std::string &devicePath, const std::string &action)
{
    umockdev_testbed_uevent(testbed, devicePath.c_str(), action.c_str());
}

bool Testbed::linkNode(const std::string &node, const std::string &target)
{
    std::error_code error;
    const std::filesystem::path link = std::filesystem::path(rootDir) / node.substr(1);
    std::filesystem::create_directories(link.parent_path(), error);
    std::filesystem::remove(link, error);
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

void Testbed::removeNode(const std::string &node)
{
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(rootDir) / node.substr(1), error);
}

unsigned Testbed::firstFreeNumber(const std::string &className, const std::string &prefix) const
{
    const std::filesystem::path classDir = std::filesystem::path(rootDir) / "sys/class" / className;
    unsigned number = 0;
    std::error_code error;
    while (std::filesystem::is_symlink(classDir / (prefix + std::to_string(number)), error))
        ++number;
    return number;
}

bool Testbed::runUnderPreload(char **argv)
{
    if (preloadLoaded())
        return true;
    // A second start that still lacks the library must not start a third.
    if (std::getenv(RestartMark)) {
        errno = ELIBACC;
        return false;
    }
    ::setenv(RestartMark, "1", 1);
    std::string preload = PreloadLibrary;
    if (const char *old = std::getenv("LD_PRELOAD"); old && *old)
        preload += std::string(":") + old;
    ::setenv("LD_PRELOAD", preload.c_str(), 1);
    std::string asan = "verify_asan_link_order=0";
    if (const char *old = std::getenv("ASAN_OPTIONS"); old && *old)
        asan = std::string(old) + ":" + asan;
    ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
    ::execv("/proc/self/exe", argv);
    return false;
}

} // namespace camera_standin

// logind's inhibitor lock: Inhibit() hands back a file descriptor, and the
// lock lasts until the last copy of it is closed, also when the program
// dies, so a crash mid-write never leaves the machine unable to sleep.
#include "platform/KeepAwake.h"

#include <systemd/sd-bus.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace platform {

namespace {

// logind answers at once; a hung bus must not hold the update up for the
// default 25 s.
constexpr std::uint64_t CALL_TIMEOUT_USEC = 5'000'000;

class LogindKeepAwake final : public KeepAwake
{
public:
    LogindKeepAwake(std::string who, std::string why)
        : who(std::move(who)), why(std::move(why))
    {
    }
    ~LogindKeepAwake() override { release(); }

    bool hold(std::string &reason) override
    {
        release();
        sd_bus *bus = nullptr;
        if (const int result = sd_bus_open_system(&bus); result < 0) {
            reason = std::string("no system bus: ") + std::strerror(-result);
            return false;
        }
        sd_bus_message *call = nullptr;
        sd_bus_message *reply = nullptr;
        // SD_BUS_ERROR_NULL, without the C99 compound literal that clang
        // rejects in C++ under -Wpedantic.
        sd_bus_error error{};
        int result = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                                    "org.freedesktop.login1.Manager", "Inhibit");
        if (result >= 0)
            result = sd_bus_message_append(call, "ssss", "sleep:shutdown", who.c_str(), why.c_str(), "block");
        if (result >= 0)
            result = sd_bus_call(bus, call, CALL_TIMEOUT_USEC, &error, &reply);
        int fd = -1;
        if (result >= 0)
            result = sd_bus_message_read(reply, "h", &fd);
        if (result >= 0) {
            // The reply owns its descriptor; ours must outlive it.
            lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            if (lockFd < 0)
                result = -errno;
        }
        if (result < 0) {
            reason = sd_bus_error_is_set(&error) ? std::string("logind: ") + error.message
                                                 : std::string("logind: ") + std::strerror(-result);
        }
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call);
        sd_bus_flush_close_unref(bus);
        return lockFd >= 0;
    }

    void release() override
    {
        if (lockFd >= 0)
            ::close(lockFd);
        lockFd = -1;
    }

private:
    const std::string who;
    const std::string why;
    int lockFd = -1;
};

} // namespace

std::unique_ptr<KeepAwake> createKeepAwake(const std::string &who, const std::string &why)
{
    return std::make_unique<LogindKeepAwake>(who, why);
}

} // namespace platform

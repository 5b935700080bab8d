// Stand-in for the outside camera control library. Every export reads the
// state file afresh, logs the call, and answers as the file says.
#include "ZentraSw.h"

#include "StandInState.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using zentrasw::StandInState;

namespace {

constexpr int FIRMWARE_SIZE = 16384;

StandInState callStarts(const char *name, const std::string &arguments = {})
{
    StandInState state = StandInState::load();
    zentrasw::logCall(state, arguments.empty() ? std::string(name) : std::string(name) + ' ' + arguments);
    // A test's look at the machine while the caller is inside this call.
    if (const std::string command = state.text(std::string("Run") + name, ""); !command.empty()) {
        [[maybe_unused]] const int status = std::system(command.c_str());
    }
    return state;
}

// UTF-8 to UTF-16, at most capacity - 1 units and a terminator. Bytes that
// are not valid UTF-8 become U+FFFD.
void toWideText(const std::string &text, ZentraWideChar *buffer, std::size_t capacity)
{
    std::size_t out = 0;
    auto put = [&](char32_t unit) {
        if (out + 1 < capacity)
            buffer[out++] = static_cast<ZentraWideChar>(unit);
    };
    for (std::size_t i = 0; i < text.size() && out + 1 < capacity;) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            put(0xFFFD);
            ++i;
            continue;
        }
        i += length;
        if (code >= 0x10000) {
            if (out + 2 >= capacity)
                break; // no room for the whole pair
            code -= 0x10000;
            put(0xD800 + (code >> 10));
            put(0xDC00 + (code & 0x3FF));
        } else {
            put(code);
        }
    }
    buffer[out] = 0;
}

// The backup pattern when no BackupImage is named: byte i is i*7 mod 251.
void fillPattern(unsigned char *buffer, int size)
{
    for (int i = 0; i < size; ++i)
        buffer[i] = static_cast<unsigned char>((static_cast<long long>(i) * 7) % 251);
}

void fillFromFile(const std::string &path, unsigned char *buffer, int size)
{
    fillPattern(buffer, size);
    if (path.empty())
        return;
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        std::fread(buffer, 1, static_cast<std::size_t>(size), file);
        std::fclose(file);
    }
}

void saveImage(const std::string &path, const unsigned char *image, int size)
{
    if (path.empty() || !image || size <= 0)
        return;
    if (std::FILE *file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(image, 1, static_cast<std::size_t>(size), file);
        std::fclose(file);
    }
}

// The second argument carries the phase in its low byte; the upper bytes
// hold a marker and the call number, which callers must ignore.
int progressWord(int phase, int call)
{
    return static_cast<int>(0x5A000000u | ((static_cast<unsigned>(call) & 0xFFFFu) << 8)
                            | (static_cast<unsigned>(phase) & 0xFFu));
}

} // namespace

extern "C" {

int InitLibrary(void)
{
    return callStarts("InitLibrary").number("InitLibrary", 1);
}

int DeInitLibrary(void)
{
    return callStarts("DeInitLibrary").number("DeInitLibrary", 1);
}

int GetLedStatus(void)
{
    const StandInState state = callStarts("GetLedStatus");
    return state.number("GetLedStatus", state.number("light", 0));
}

int GetAFStatus(int *status)
{
    const StandInState state = callStarts("GetAFStatus");
    if (status)
        *status = state.number("AFStatusValue", 0);
    return state.number("GetAFStatus", 0);
}

int AFFreezeControl(int mode)
{
    return callStarts("AFFreezeControl", std::to_string(mode)).number("AFFreezeControl", 0);
}

int GetFirmwareVersionInfo(ZentraWideChar *buffer)
{
    const StandInState state = callStarts("GetFirmwareVersionInfo");
    if (buffer)
        toWideText(state.text("FirmwareVersion", "TESSEL FW 1.0.0"), buffer, ZENTRA_VERSION_TEXT_CAPACITY);
    return 0;
}

int FirmwareBackup(unsigned char *buffer, int size, int *written, int /*reserved*/)
{
    const StandInState state = callStarts("FirmwareBackup", std::to_string(size));
    const int result = state.number("FirmwareBackup", 0);
    if (result != 0 || !buffer || size <= 0)
        return result;
    const int filled = size < FIRMWARE_SIZE ? size : FIRMWARE_SIZE;
    fillFromFile(state.text("BackupImage", ""), buffer, filled);
    if (written)
        *written = filled;
    return result;
}

int FirmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress)
{
    const StandInState state = callStarts("FirmwareUpdate", std::to_string(size));
    saveImage(state.text("UpdateImageOut", ""), image, size);
    if (progress) {
        int call = 0;
        for (const auto &phase : zentrasw::parseUpdatePhases(state.text("UpdatePhases", "0x26,1x26")))
            for (int i = 0; i < phase.calls; ++i, ++call)
                progress(call, progressWord(phase.phase, call));
    }
    return state.number("FirmwareUpdate", 0);
}

} // extern "C"

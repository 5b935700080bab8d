#include "StandInState.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace zentrasw {

namespace {

constexpr std::string_view blanks = " \t\r\n";

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// A comment starts at a '#' at the start of a line or after a blank, so
// that paths and version texts may still carry a '#' inside a word.
std::string_view withoutComment(std::string_view line)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
            return line.substr(0, i);
    }
    return line;
}

bool parseInteger(std::string_view text, int &value)
{
    text = trimmed(text);
    int base = 10;
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    long long parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return false;
    parsed = negative ? -parsed : parsed;
    // Values up to 0xFFFFFFFF are accepted and keep their 32-bit pattern.
    if (parsed < -2147483648LL || parsed > 0xFFFFFFFFLL)
        return false;
    value = static_cast<int>(static_cast<unsigned int>(parsed));
    return true;
}

std::string readWholeFile(const char *path)
{
    std::string content;
    std::FILE *file = std::fopen(path, "rb");
    if (!file)
        return content;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content.append(chunk, got);
    std::fclose(file);
    return content;
}

} // namespace

StandInState StandInState::load()
{
    const char *path = std::getenv(STATE_VARIABLE);
    if (!path || !*path)
        return {};
    return parse(readWholeFile(path));
}

StandInState StandInState::parse(std::string_view text)
{
    StandInState state;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = withoutComment(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        if (!key.empty())
            state.values.insert_or_assign(std::string(key), std::string(trimmed(line.substr(equals + 1))));
    }
    return state;
}

int StandInState::number(std::string_view key, int fallback) const
{
    const auto found = values.find(key);
    int value = 0;
    if (found == values.end() || !parseInteger(found->second, value))
        return fallback;
    return value;
}

std::string StandInState::text(std::string_view key, std::string_view fallback) const
{
    const auto found = values.find(key);
    if (found == values.end())
        return std::string(fallback);
    return found->second;
}

std::vector<UpdatePhase> parseUpdatePhases(std::string_view text)
{
    std::vector<UpdatePhase> phases;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view entry = trimmed(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);

        const auto times = entry.find('x');
        UpdatePhase phase;
        if (times == std::string_view::npos || !parseInteger(entry.substr(0, times), phase.phase)
            || !parseInteger(entry.substr(times + 1), phase.calls) || phase.calls < 0)
            continue;
        phases.push_back(phase);
    }
    return phases;
}

void logCall(const StandInState &state, std::string_view line)
{
    const std::string path = state.text("CallLog", "");
    if (path.empty())
        return;
    // Calls may come from several threads of one program; each line is
    // written whole, and O_APPEND semantics keep lines of programs apart.
    static std::mutex logLock;
    const std::lock_guard<std::mutex> guard(logLock);
    std::FILE *file = std::fopen(path.c_str(), "ab");
    if (!file)
        return;
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

} // namespace zentrasw

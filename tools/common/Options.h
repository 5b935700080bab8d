#pragma once

#include <optional>
#include <string>
#include <vector>

// Walks "--name value", "--name=value" and "--flag" arguments in order.
class Options
{
public:
    // The words of the environment variable (split at white space) come
    // first, then the command line: a program that another program starts
    // without arguments can still be given options.
    Options(const char *environmentVariable, int argc, char **argv);

    bool atEnd() const { return position >= arguments.size(); }
    // The next option's name, without an "=value" part.
    std::string nextName();
    // The value of the option just named: its "=value" part or the next word.
    std::optional<std::string> value();

private:
    std::vector<std::string> arguments;
    std::size_t position = 0;
    std::optional<std::string> inlineValue;
};

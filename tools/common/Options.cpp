#include "Options.h"

#include "Text.h"

#include <cstdlib>

Options::Options(const char *environmentVariable, int argc, char **argv)
{
    if (const char *extra = std::getenv(environmentVariable))
        arguments = text::splitWords(extra);
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
}

std::string Options::nextName()
{
    std::string word = arguments[position++];
    inlineValue.reset();
    const std::size_t equals = word.find('=');
    if (word.starts_with("--") && equals != std::string::npos) {
        inlineValue = word.substr(equals + 1);
        word.resize(equals);
    }
    return word;
}

std::optional<std::string> Options::value()
{
    if (inlineValue) {
        auto taken = std::move(inlineValue);
        inlineValue.reset();
        return taken;
    }
    if (atEnd())
        return std::nullopt;
    return arguments[position++];
}

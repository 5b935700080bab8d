#pragma once

#include <string_view>

namespace updater {

// The updater's two output streams. Texts are written byte for byte; only
// standard output is buffered and needs a flush.
class Console
{
public:
    virtual ~Console() = default;

    virtual void out(std::string_view text) = 0;
    virtual void err(std::string_view text) = 0;
    virtual void flushOut() = 0;

    // Whether a person watches both streams on a terminal, so that a
    // progress bar drawn on standard error is worth showing.
    virtual bool watchedOnTerminal() const = 0;
};

// The process's standard output and error.
class StandardConsole final : public Console
{
public:
    void out(std::string_view text) override;
    void err(std::string_view text) override;
    void flushOut() override;
    bool watchedOnTerminal() const override;
};

} // namespace updater

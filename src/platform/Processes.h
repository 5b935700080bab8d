#pragma once

#include <string>

namespace platform {

// Result codes of the system's "open a program" call: a value above 32 means
// the program was started.
inline constexpr int SE_ERR_FNF = 2;
inline constexpr int SE_ERR_ACCESSDENIED = 5;
inline constexpr int SHELL_EXECUTE_SUCCESS = 42;

// The process list and the ways this system starts other programs. Program
// names are given as the Windows names ("tessel.exe"); each backend maps them
// to its own executables.
class Processes
{
public:
    virtual ~Processes() = default;

    // Looks for a running process whose executable name equals exeName,
    // ignoring case, among the processes of this user (Linux) or this logon
    // session (Windows): another user's viewer or driver is not ours.
    // `running` tells whether one was found; the result tells only whether
    // the process list could be read to its end.
    virtual bool isProcessRunning(const std::string &exeName, bool &running) = 0;

    // Starts a program without waiting for it, looking first in the running
    // program's own directory. True when the program was started.
    virtual bool startDetached(const std::string &program) = 0;

    // Opens a program by name with the verb "open" or "runas" (elevated) and
    // returns the result code: above 32 on success, SE_ERR_FNF when it cannot
    // be found, SE_ERR_ACCESSDENIED when it may not be run.
    virtual int shellExecute(const std::string &verb, const std::string &file) = 0;

    // Opens a web page (an http or https address) in the user's browser
    // without waiting for it. True when the opener was started. Blocks for
    // as long as starting takes: not for the main thread.
    virtual bool openWebPage(const std::string &url) = 0;
};

} // namespace platform

#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::win32_backend {

// The logon session a process runs in. Every user who is logged on has a
// session of their own (session 0 holds the services), and all the programs
// a user starts, elevated ones included, run in that user's session: the
// watchdog serves and counts only what runs in its own. Nothing when the
// system does not tell (the process has ended, or it may not be asked).
std::optional<DWORD> sessionOfProcess(DWORD processId);

// The session of this process.
std::optional<DWORD> ownSession();

// Where the session of a process is looked up; tests hand in their own.
using SessionLookup = std::function<std::optional<DWORD>(DWORD processId)>;

struct NamedProcess
{
    DWORD id = 0;
    std::optional<DWORD> session;
};

// The processes of every session whose executable is named exeName (the
// file name without its folder, compared without regard to case), each
// with its session as sessionOf tells it. Nothing when the process list
// cannot be read to its end: a list cut short must not pass for one in
// which the program does not run.
std::optional<std::vector<NamedProcess>> processesNamed(const std::wstring &exeName,
                                                        const SessionLookup &sessionOf = sessionOfProcess);

} // namespace platform::win32_backend

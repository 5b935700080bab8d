#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::win32_backend {

// The logon session of every process, from one look at the system's lists.
// Every user who is logged on has a session of their own (session 0 holds
// the services), and all the programs a user starts, elevated ones
// included, run in that user's session: the watchdog serves and counts only
// what runs in its own.
//
// No handle to any process is needed. ProcessIdToSessionId opens the
// process, which a normal watchdog may not do to the viewer that its own
// "runas" retry started elevated; the session lists name every process.
class SessionSnapshot
{
public:
    // The documented list (WTSEnumerateProcessesW) first. For a user who is
    // not an administrator it leaves out the programs of other users, such
    // as a viewer elevated with an administrator's password in this very
    // session; the system's process list (the one Toolhelp reads) names
    // those with their session too.
    static SessionSnapshot take();

    // Nothing when the process is not listed (it has ended, or neither list
    // could be read).
    std::optional<DWORD> sessionOf(DWORD processId) const;

    void add(DWORD processId, DWORD session) { sessions.emplace(processId, session); }

private:
    std::unordered_map<DWORD, DWORD> sessions;
};

// Where the session of a process is looked up; tests hand in their own.
using SessionLookup = std::function<std::optional<DWORD>(DWORD processId)>;

// A look-up over one snapshot taken now: the processes it is asked about
// are told from the same look at the system, this process included.
SessionLookup sessionsNow();

// The session of one process, from a snapshot of its own.
std::optional<DWORD> sessionOfProcess(DWORD processId);

// The session of this process, told from the same lists as every other
// process's (wine's ProcessIdToSessionId names another session for the
// caller than its own lists do).
std::optional<DWORD> ownSession();

struct NamedProcess
{
    DWORD id = 0;
    std::optional<DWORD> session;
};

// The processes of every session whose executable is named exeName (the
// file name without its folder, compared without regard to case), each
// with its session as sessionOf tells it (by default from one snapshot
// taken for this walk). Nothing when the process list cannot be read to
// its end: a list cut short must not pass for one in which the program
// does not run.
std::optional<std::vector<NamedProcess>> processesNamed(const std::wstring &exeName,
                                                        const SessionLookup &sessionOf = {});

} // namespace platform::win32_backend

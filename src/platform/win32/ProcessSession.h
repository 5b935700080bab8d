#pragma once

#include <windows.h>

#include <optional>

namespace platform::win32_backend {

// The logon session a process runs in. Every user who is logged on has a
// session of their own (session 0 holds the services), and all the programs
// a user starts, elevated ones included, run in that user's session: the
// watchdog serves and counts only what runs in its own. Nothing when the
// system does not tell (the process has ended, or it may not be asked).
std::optional<DWORD> sessionOfProcess(DWORD processId);

// The session of this process.
std::optional<DWORD> ownSession();

} // namespace platform::win32_backend

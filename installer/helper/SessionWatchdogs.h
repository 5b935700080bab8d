#pragma once

#include <windows.h>

#include <cstdio>

namespace setup_helper {

// Ends the watchdogs of this logon session the way a log-off does, so that
// they end cleanly and start no fresh copy of themselves: their
// session-end window gets WM_QUERYENDSESSION and WM_ENDSESSION. One that
// has not ended 10 s later is ended by force, and so is one that still has
// no such window after five rounds (its window could not be made); that
// starts no fresh copy either. Watchdogs of other sessions are left
// running: the installer may not end another user's programs, and their
// users get the new files at their next logon. Says on out what it did;
// false when a watchdog of this session is still running or the running
// programs cannot be read.
bool endSessionWatchdogs(std::FILE *out);

// Waits up to timeoutMs for a watchdog of this session whose session-end
// window is up (it has got past its start), and says on out which one, or
// what it found instead: the shell starts the program on its own after the
// setup's call has returned, and a start that went wrong there would
// otherwise leave no trace. True when one is up.
bool awaitSessionWatchdog(std::FILE *out, DWORD timeoutMs);

} // namespace setup_helper

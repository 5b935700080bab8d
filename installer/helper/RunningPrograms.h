#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace setup_helper {

struct RunningProgram
{
    DWORD process = 0;
    DWORD session = 0;
    bool sessionKnown = false;
};

// The processes of every session whose executable is named name (compared
// without regard to case). Empty as well when the list cannot be read.
std::vector<RunningProgram> runningPrograms(const std::wstring &name);

// The session of this process; 0 when it cannot be read.
DWORD ownSession();

} // namespace setup_helper

#pragma once

#include <windows.h>

#include <string>

namespace setup_helper {

// Whether a user sits at this session: not when the setup runs as the
// system account or in session 0 (a silent deployment, a service), where
// there is nobody to start the watchdog for; the Run key starts it at the
// next logon.
bool interactiveUser();

// Starts program through the desktop's shell, which runs as the user who
// is logged on here and without elevation: the watchdog must never run
// with the installer's elevated token. The shell's own ShellExecute
// (IShellDispatch2 of the desktop's folder view) does the start.
HRESULT startThroughShell(const std::wstring &program);

} // namespace setup_helper

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

// Whether the setup's own rights are the user's, so that the watchdog may be
// started directly when the desktop's shell cannot do it: the setup's token
// is not elevated, or the system is wine, where every program runs as the
// same Unix user and there is no elevation to shed. (Wine's shell serves its
// window list only while its desktop process runs, which comes and goes.)
bool setupRightsAreTheUsers();

// Starts program directly, from its own folder, with no handle inherited.
bool startDirectly(const std::wstring &program);

} // namespace setup_helper

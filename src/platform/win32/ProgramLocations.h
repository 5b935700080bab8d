#pragma once

#include <optional>
#include <string>
#include <vector>

// Where the Win32 backend looks for the modules and programs that the
// system names without a folder ("ZentraSw.dll", "tlxuvc.ax", "tessel.exe").
// Only absolute paths in folders that an administrator installed: the
// program's own folder, and the folders that the camera's software
// registered. Never the current folder or PATH, which any user may fill: a
// DLL or program planted there would run in every user's watchdog, or
// elevated through the "runas" retry.
namespace platform::win32_backend {

// The folder of the running program, without a trailing separator; empty
// when it cannot be told.
std::wstring programDirectory();

// The module file that the filter's COM class is registered with
// (InprocServer32 of its class: the machine's registration, then the
// user's own), when it is an absolute path.
std::optional<std::wstring> registeredFilterModule();

// The program that the machine's App Paths entry names for a file name
// (HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\<name>), when it
// is an absolute path. The user's own App Paths are not read: the viewer
// may be started elevated.
std::optional<std::wstring> registeredAppPath(const std::wstring &fileName);

// Where the camera's software lies and where we do: what the look-ups
// below read from the system, gathered so that tests can hand in their own.
struct SoftwareFolders
{
    std::wstring programFolder;
    std::optional<std::wstring> registeredFilter;

    static SoftwareFolders ofSystem();
};

// The files a module name may stand for, in the order they are tried:
// beside the program, then in the folder of the registered filter. Empty
// for a name that carries a folder or is empty.
std::vector<std::wstring> moduleCandidates(const std::wstring &name, const SoftwareFolders &folders);

// The files a program name may stand for, in the order they are tried:
// its App Paths entry, the folder of the registered filter (the camera's
// software), the program's own folder. Empty for a name that carries a
// folder or is empty.
std::vector<std::wstring> programCandidates(const std::wstring &name, const std::optional<std::wstring> &appPath,
                                            const SoftwareFolders &folders);

// "C:\x", "\\server\share\x", "\\?\C:\x"; not "x", "dir\x", "\x" or "C:x".
bool isAbsolutePath(const std::wstring &path);
// Whether a name carries a folder (or a drive) at all.
bool hasFolder(const std::wstring &name);
bool isFile(const std::wstring &path);
// The folder of a path, without a trailing separator; empty without one.
std::wstring folderOf(const std::wstring &path);
// The first candidate that is an existing file; empty when none is.
std::wstring firstExistingFile(const std::vector<std::wstring> &candidates);

} // namespace platform::win32_backend

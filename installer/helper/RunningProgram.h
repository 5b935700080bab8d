#pragma once

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace setup_helper {

// The processes, in any session, that run the program file at path: the
// file each process was started from is compared with it, not the file's
// name, so a program of the same name elsewhere (any user may start one)
// does not count. Says on out what it found. Nothing when the process list
// cannot be read.
std::optional<std::vector<DWORD>> processesRunning(const std::wstring &path, std::FILE *out);

// Whether two paths name the same file as Windows spells paths: letter
// case ignored, short (8.3) names and "." or ".." steps resolved where the
// file exists.
bool samePath(const std::wstring &a, const std::wstring &b);

} // namespace setup_helper

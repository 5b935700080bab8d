#pragma once

#include <string>

// The folders that belong to the user alone, by the XDG rules: a variable
// counts only when it holds an absolute path. Each is empty when unknown.
namespace platform::linux_backend {

// $XDG_RUNTIME_DIR: the session's runtime folder, private by definition.
std::string runtimeFolder();
// $XDG_STATE_HOME, else ~/.local/state (the home from $HOME, else the
// password database).
std::string stateFolder();

} // namespace platform::linux_backend

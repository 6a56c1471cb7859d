// Where things live: the executable, the per-user configuration and runtime
// directories. Every function reads the environment at call time.
#pragma once

#include <string>

namespace kb {

// The native directory separator.
extern const char kPathSeparator;

// Full path of the running executable ("" when it cannot be found).
std::string ExecutablePath();

// Everything up to and including the last separator of `path` ("" when it
// has none).
std::string DirectoryOf(const std::string& path);

// The user's home folder: $HOME when it is an absolute path, else the
// account's own (the profile folder on Windows).
std::string HomeDir();

// The per-user configuration directory: $XDG_CONFIG_HOME when it is an
// absolute path, else $HOME/.config (the roaming application data folder on
// Windows). No trailing separator.
std::string ConfigHome();

// The program's own configuration directory: ConfigHome() + "/Kestrelbox".
std::string AppConfigDir();

// The program's own state directory, for what it records as it runs (the
// activity journal): $XDG_STATE_HOME/Kestrelbox when that is an absolute
// path, else $HOME/.local/state/Kestrelbox (the local application data
// folder on Windows). No trailing separator.
std::string AppStateDir();

// The per-user runtime directory for the single-instance guard:
// $XDG_RUNTIME_DIR when it is an absolute path, else AppConfigDir(). No
// trailing separator.
std::string RuntimeDir();

// Creates `dir` and any missing parents (mode 0700 for new ones). Returns 0,
// or the system error code of the failure.
int MakeDirectories(const std::string& dir);

}  // namespace kb
